// render/matrix.cpp
#include "render/matrix.h"

#include <cmath>

namespace render {

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float length(Vec3 v) { return std::sqrt(dot(v, v)); }

Vec3 normalize(Vec3 v) { return v * (1.0f / length(v)); }

Matrix identityMatrix() {
    Matrix r;
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0f;
    return r;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return r;
}

Matrix translationMatrix(float x, float y, float z) {
    Matrix r = identityMatrix();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix scalingMatrix(float x, float y, float z) {
    Matrix r;
    r.m[0][0] = x;
    r.m[1][1] = y;
    r.m[2][2] = z;
    r.m[3][3] = 1.0f;
    return r;
}

Matrix rotationX(float radians) {
    Matrix r = identityMatrix();
    float c = std::cos(radians), s = std::sin(radians);
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix rotationY(float radians) {
    Matrix r = identityMatrix();
    float c = std::cos(radians), s = std::sin(radians);
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix rotationZ(float radians) {
    Matrix r = identityMatrix();
    float c = std::cos(radians), s = std::sin(radians);
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix rotationAxis(Vec3 axis, float radians) {
    Vec3 a = normalize(axis);
    float c = std::cos(radians), s = std::sin(radians), t = 1.0f - c;
    Matrix r = identityMatrix();
    r.m[0][0] = t * a.x * a.x + c;
    r.m[0][1] = t * a.x * a.y + s * a.z;
    r.m[0][2] = t * a.x * a.z - s * a.y;
    r.m[1][0] = t * a.x * a.y - s * a.z;
    r.m[1][1] = t * a.y * a.y + c;
    r.m[1][2] = t * a.y * a.z + s * a.x;
    r.m[2][0] = t * a.x * a.z + s * a.y;
    r.m[2][1] = t * a.y * a.z - s * a.x;
    r.m[2][2] = t * a.z * a.z + c;
    return r;
}

Vec3 transformPoint(Vec3 p, const Matrix& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

Vec3 transformDirection(Vec3 v, const Matrix& m) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
            v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

bool buildPerspective(Matrix& out, float fov, float aspect, float nearZ, float farZ) {
    float s = std::sin(fov / 2.0f);
    if (std::fabs(farZ - nearZ) < 0.01f || std::fabs(s) < 0.01f) return false;
    float c = std::cos(fov / 2.0f) / s;
    float q = farZ / (farZ - nearZ);
    Matrix r;
    r.m[0][0] = aspect * c;
    r.m[1][1] = c;
    r.m[2][2] = q;
    r.m[2][3] = 1.0f;
    r.m[3][2] = -q * nearZ;
    out = r;
    return true;
}

bool buildLookAt(Matrix& out, Vec3 eye, Vec3 target, Vec3 up) {
    constexpr float kMinLength = 1e-6f;
    Vec3 f = target - eye;
    if (length(f) < kMinLength) return false;
    f = normalize(f);
    Vec3 u = up - f * dot(up, f);
    if (length(u) < kMinLength) {
        u = Vec3{0.0f, 1.0f, 0.0f} - f * f.y;
        if (length(u) < kMinLength) {
            u = Vec3{0.0f, 0.0f, 1.0f} - f * f.z;
            if (length(u) < kMinLength) return false;
        }
    }
    u = normalize(u);
    Vec3 r = cross(u, f);
    Matrix v;
    v.m[0][0] = r.x; v.m[0][1] = u.x; v.m[0][2] = f.x;
    v.m[1][0] = r.y; v.m[1][1] = u.y; v.m[1][2] = f.y;
    v.m[2][0] = r.z; v.m[2][1] = u.z; v.m[2][2] = f.z;
    v.m[3][0] = -dot(r, eye);
    v.m[3][1] = -dot(u, eye);
    v.m[3][2] = -dot(f, eye);
    v.m[3][3] = 1.0f;
    out = v;
    return true;
}

}  // namespace render
