// render/matrix.h
#pragma once

namespace render {

// Three floats; Y is up, the ground is the X-Z plane, the space is
// left-handed.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
float length(Vec3 v);
// No zero check: a zero vector gives non-finite components.
Vec3 normalize(Vec3 v);

// 4 x 4 floats used with row vectors (v x M); m[row][column], so m[3][0..2]
// hold the translation. Products compose left to right: in a x b, a acts
// first.
struct Matrix {
    float m[4][4] = {};
};

Matrix identityMatrix();
Matrix multiply(const Matrix& a, const Matrix& b);
Matrix translationMatrix(float x, float y, float z);
Matrix scalingMatrix(float x, float y, float z);
// Rotations follow the Direct3D conventions: about X, m[1][1] = cos,
// m[1][2] = sin, m[2][1] = -sin, m[2][2] = cos; likewise for Y and Z.
Matrix rotationX(float radians);
Matrix rotationY(float radians);
Matrix rotationZ(float radians);
// The axis is normalised first; a zero axis gives non-finite entries.
Matrix rotationAxis(Vec3 axis, float radians);

// Point (x, y, z, 1) times m; the w of the result is dropped.
Vec3 transformPoint(Vec3 p, const Matrix& m);
// Direction (x, y, z, 0) times m: the upper 3 x 3 only, no translation.
Vec3 transformDirection(Vec3 v, const Matrix& m);

// Perspective projection: with c = cos(fov/2) / sin(fov/2) and
// q = far / (far - near), m[0][0] = aspect * c, m[1][1] = c, m[2][2] = q,
// m[2][3] = 1, m[3][2] = -q * near, all others 0. Returns false and leaves
// `out` unchanged when |far - near| < 0.01 or |sin(fov/2)| < 0.01.
bool buildPerspective(Matrix& out, float fov, float aspect, float nearZ, float farZ);

// Left-handed look-at view matrix with columns right, up, forward. The up
// vector is made orthogonal to the view direction; when that leaves less
// than 1e-6, (0, 1, 0) and then (0, 0, 1) are tried. Returns false and
// leaves `out` unchanged when eye and target are closer than 1e-6 or no up
// vector is usable.
bool buildLookAt(Matrix& out, Vec3 eye, Vec3 target, Vec3 up);

}  // namespace render
