// graphics/lighting.h
#pragma once
#include <cstdint>

#include "render/matrix.h"

namespace graphics {

// The light of drawMesh's light pass and the tint of tinted objects. The
// application owns one; the script host sets the light once per run, the
// field resets the matrix, the tinted object pass writes the tint and puts
// it back.
struct Lighting {
    render::Vec3 position{0.0f, 1.0f, 0.0f};  // a point light
    float range = 10.0f;
    float intensity = 0.75f;
    float ambient = 0.25f;
    float color[3] = {1.0f, 1.0f, 1.0f};      // red, green, blue
    render::Matrix matrix = render::identityMatrix();  // turns light directions
    float tintColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};    // alpha, red, green, blue
    uint8_t tintTextured = 1;
    // Texture-store slot of the light ramp "system\texure\fill.bmp"; a mesh
    // drawn with this slot is a light pass. -1: no light passes.
    int fillTexture = -1;

    // A light direction through the light matrix: each component is
    // (d, 1) dotted with one row of the matrix.
    render::Vec3 throughMatrix(render::Vec3 d) const {
        const render::Matrix& m = matrix;
        return {d.x * m.m[0][0] + d.y * m.m[0][1] + d.z * m.m[0][2] + m.m[0][3],
                d.x * m.m[1][0] + d.y * m.m[1][1] + d.z * m.m[1][2] + m.m[1][3],
                d.x * m.m[2][0] + d.y * m.m[2][1] + d.z * m.m[2][2] + m.m[2][3]};
    }
};

}  // namespace graphics
