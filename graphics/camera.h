// graphics/camera.h
#pragma once
#include "render/matrix.h"

namespace graphics {

// The fixed projection of every frame and of the conversions.
constexpr float kFieldOfView = 0.3490658f;  // 20 degrees
constexpr float kAspect = 0.75f;
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 1000.0f;
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kDegreeEntries = 360;

// The one camera: the eye and look-at point the scripts set, the fixed
// projection, the view matrix of the frame, the conversions between the
// 640 x 480 screen and the world, and the degree table of model drawing.
// The application owns it; the script functions write it, the frame, the
// scene, the field and picking read it.
class Camera {
public:
    Camera();

    render::Vec3 eye{0.0f, 0.0f, -10.0f};
    render::Vec3 target{0.0f, 0.0f, 0.0f};
    render::Vec3 up{0.0f, 1.0f, 0.0f};

    // Rebuilds the view matrix from eye, target and up. False, with the
    // previous view kept, when eye and target coincide or no up vector is
    // usable.
    bool updateView();
    const render::Matrix& view() const { return viewMatrix; }
    const render::Matrix& projection() const { return projectionMatrix; }

    // The screen point of a world point, through a view built afresh from
    // eye and target with up (0, 1, 0) and the fixed projection. False,
    // with (0, 0), when the projected point lies outside -1..1 in x or y
    // (the sign of w plays no part) or no view can be built.
    bool worldToScreen(render::Vec3 point, int& x, int& y) const;
    // The world point at `depth` along the line of sight through a screen
    // point, turned by the camera's yaw and pitch as scripts have always
    // seen it (the angle constants 1.57, 3.14 and 6.28 are the decimals,
    // not multiples of pi). Always succeeds.
    render::Vec3 screenToWorld(int x, int y, float depth) const;

    // i x pi / 180 for whole degrees 0..359.
    float degree(int i) const { return degreeTable[i]; }
    const float* degrees() const { return degreeTable; }

private:
    render::Matrix viewMatrix = render::identityMatrix();
    render::Matrix projectionMatrix;
    float degreeTable[kDegreeEntries] = {};
};

}  // namespace graphics
