// Pose arithmetic in the host's conventions.
#include "host_pose.h"

#include <algorithm>
#include <cmath>

namespace tessmodel {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The drawing code's degree table: entry i holds i * pi / 180 with pi as
// a float.
float hostRadians(int degrees) {
    int d = ((degrees % 360) + 360) % 360;
    return float(d) * 3.1415927f / 180.0f;
}

Mat3d fromMatrix(const render::Matrix& m) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = m.m[i][j];
    return r;
}

double wrapNear(double angle, double near) {
    while (angle - near > 180.0) angle -= 360.0;
    while (angle - near < -180.0) angle += 360.0;
    return angle;
}

}  // namespace

Vec3d add(Vec3d a, Vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d sub(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d scale(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double length(Vec3d a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

Vec3d times(Vec3d p, const Mat3d& r) {
    return {p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0], p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1],
            p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2]};
}

Mat3d times(const Mat3d& a, const Mat3d& b) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

Mat3d transposed(const Mat3d& a) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

double determinant(const Mat3d& a) {
    const auto& m = a.m;
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Mat3d inverse(const Mat3d& a) {
    double d = determinant(a);
    if (std::fabs(d) < 1e-300) return Mat3d{};
    const auto& m = a.m;
    Mat3d r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / d;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / d;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / d;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / d;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / d;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / d;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / d;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / d;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / d;
    return r;
}

Pose compose(const Pose& first, const Pose& then) {
    return {times(first.r, then.r), add(times(first.t, then.r), then.t)};
}

Pose inverse(const Pose& p) {
    Mat3d ri = inverse(p.r);
    return {ri, scale(times(p.t, ri), -1.0)};
}

double angleBetween(const Mat3d& a, const Mat3d& b) {
    Mat3d d = times(transposed(a), b);
    double c = (d.m[0][0] + d.m[1][1] + d.m[2][2] - 1.0) / 2.0;
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / kPi;
}

double orthogonalityError(const Mat3d& a) {
    Mat3d p = times(a, transposed(a));
    double worst = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) worst = std::max(worst, std::fabs(p.m[i][j] - (i == j ? 1.0 : 0.0)));
    return worst;
}

Mat3d hostPartRotation(int x, int y, int z) {
    const render::Vec3 unit[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
    return hostPartRotation(unit, x, y, z);
}

Mat3d hostPartRotation(const render::Vec3* v, int x, int y, int z) {
    // As the drawing code: e the fixed angles (Y, X, Z), a1 about the
    // first axis with z negated, a2 about the second, a3 about the third
    // carried by a1. An axis of no length turns nothing.
    using namespace render;
    auto about = [](Vec3 axis, float radians) {
        return length(axis) > 0.0f ? rotationAxis(axis, radians) : identityMatrix();
    };
    auto fixed = [](float degrees) { return std::fabs(degrees) < 1.0e9f ? hostRadians(int(degrees)) : 0.0f; };
    const Matrix e = multiply(multiply(rotationY(fixed(v[3].y)), rotationX(fixed(v[3].x))), rotationZ(fixed(v[3].z)));
    const Matrix a1 = about({v[0].x, v[0].y, -v[0].z}, hostRadians(x));
    const Matrix a2 = about(v[1], hostRadians(y));
    const Matrix a3 = about(transformDirection(v[2], a1), hostRadians(z));
    return fromMatrix(multiply(multiply(multiply(a2, e), a1), a3));
}

Angles anglesOf(const Mat3d& r, const Angles& near) {
    // r = Ry(y) * Rz(z) * Rx(x) in row form: r[1][0] = -sin z,
    // r[1][1] = cos z cos x, r[1][2] = cos z sin x, r[0][0] = cos y cos z,
    // r[2][0] = sin y cos z.
    const auto& m = r.m;
    double sz = std::clamp(-m[1][0], -1.0, 1.0);
    double cz = std::sqrt(std::max(0.0, 1.0 - sz * sz));
    Angles a, b;
    if (cz > 1e-7) {
        a.z = std::asin(sz) * 180.0 / kPi;
        a.x = std::atan2(m[1][2], m[1][1]) * 180.0 / kPi;
        a.y = std::atan2(m[2][0], m[0][0]) * 180.0 / kPi;
        b = {a.x + 180.0, a.y + 180.0, 180.0 - a.z};
    } else {
        // Gimbal lock: only x - y (z = 90) or x + y (z = -90) is fixed;
        // keep x where it was.
        a.z = sz > 0 ? 90.0 : -90.0;
        a.x = near.x;
        double s = sz > 0 ? std::atan2(-m[0][2], m[0][1]) : std::atan2(-m[0][2], -m[0][1]);
        s *= 180.0 / kPi;
        a.y = sz > 0 ? a.x + s : s - a.x;
        b = a;
    }
    for (Angles* c : {&a, &b}) {
        c->x = wrapNear(c->x, near.x);
        c->y = wrapNear(c->y, near.y);
        c->z = wrapNear(c->z, near.z);
    }
    auto distance = [&](const Angles& c) {
        return std::fabs(c.x - near.x) + std::fabs(c.y - near.y) + std::fabs(c.z - near.z);
    };
    return distance(a) <= distance(b) ? a : b;
}

}  // namespace tessmodel
