#include "graphics/camera.h"

#include <cmath>

namespace graphics {

namespace {

// Brings an angle into 0..6.28 by one step either way.
float wrapAngle(float angle) {
    if (angle < 0.0f) angle += 6.28f;
    if (angle >= 6.28f) angle -= 6.28f;
    return angle;
}

}  // namespace

Camera::Camera() {
    for (int i = 0; i < kDegreeEntries; ++i) degreeTable[i] = float(i * M_PI / 180.0);
    render::buildPerspective(projectionMatrix, kFieldOfView, kAspect, kNearPlane, kFarPlane);
}

bool Camera::updateView() {
    return render::buildLookAt(viewMatrix, eye, target, up);
}

bool Camera::worldToScreen(render::Vec3 point, int& x, int& y) const {
    x = 0;
    y = 0;
    render::Matrix lookAt;
    if (!render::buildLookAt(lookAt, eye, target, {0.0f, 1.0f, 0.0f})) return false;
    const render::Matrix m = render::multiply(lookAt, projectionMatrix);
    float cx = point.x * m.m[0][0] + point.y * m.m[1][0] + point.z * m.m[2][0] + m.m[3][0];
    float cy = point.x * m.m[0][1] + point.y * m.m[1][1] + point.z * m.m[2][1] + m.m[3][1];
    float cw = point.x * m.m[0][3] + point.y * m.m[1][3] + point.z * m.m[2][3] + m.m[3][3];
    float qx = cx / cw, qy = cy / cw;
    // NaN fails both tests, so w = 0 is outside too.
    if (!(qx >= -1.0f && qx <= 1.0f && qy >= -1.0f && qy <= 1.0f)) return false;
    x = int(qx * 320.0f + 320.0f);
    y = int(240.0f - qy * 240.0f);
    return true;
}

render::Vec3 Camera::screenToWorld(int x, int y, float depth) const {
    // In floats: a script may pass any integer.
    const float nx = (float(x) - 320.0f) / 320.0f;
    const float ny = (float(y) - 240.0f) / -240.0f;
    const render::Vec3 v = eye - target;
    float yaw;
    if (v.x != 0.0f) yaw = std::atan2(v.z, v.x) + 1.57f;
    else yaw = v.z < 0.0f ? 0.0f : 3.14f;
    yaw = wrapAngle(6.28f - yaw);
    const render::Matrix ry = render::rotationY(yaw);
    const float u = ry.m[2][0] * v.x + ry.m[2][1] * v.y + ry.m[2][2] * v.z + ry.m[2][3];
    const float pitch = wrapAngle(std::atan2(v.y, -u));
    const render::Matrix rotation = render::multiply(render::rotationX(pitch), ry);
    const float t = float(std::tan(0.1745329052209854));
    const render::Vec3 local{t * nx * depth * 640.0f / 480.0f, depth * t * ny, depth};
    return render::transformPoint(local, rotation) + eye;
}

}  // namespace graphics
