// tools/tessmodel/host_pose.h
#pragma once
#include "render/matrix.h"

namespace tessmodel {

// Poses in the host's space: left-handed, +Y up, row vectors (a point p
// goes to p * R + t), as the drawing code composes its matrices. Double
// precision, so the tool's own arithmetic adds nothing to the errors it
// measures.
struct Vec3d {
    double x = 0, y = 0, z = 0;
};
struct Mat3d {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};
struct Pose {
    Mat3d r;
    Vec3d t;
};

Vec3d add(Vec3d a, Vec3d b);
Vec3d sub(Vec3d a, Vec3d b);
Vec3d scale(Vec3d a, double s);
double length(Vec3d a);
Vec3d times(Vec3d p, const Mat3d& r);  // p * r
Mat3d times(const Mat3d& a, const Mat3d& b);
Mat3d transposed(const Mat3d& a);
double determinant(const Mat3d& a);
Mat3d inverse(const Mat3d& a);  // identity when singular
// `first` applied, then `then`.
Pose compose(const Pose& first, const Pose& then);
Pose inverse(const Pose& p);
// Angle in degrees of the rotation taking `a` to `b` (both rotations).
double angleBetween(const Mat3d& a, const Mat3d& b);
// Largest deviation of a * transpose(a) from the identity.
double orthogonalityError(const Mat3d& a);

// The rotation the drawing code builds for a part with unit axes and no
// fixed angles, turned (x, y, z) whole degrees: a turn about Y, then
// about Z, then about X, each through the host's own matrix functions.
Mat3d hostPartRotation(int x, int y, int z);

// The same for a part with any axes and fixed angles, as a model file
// stores them: `vectors` are the part's vectors 0 to 3.
Mat3d hostPartRotation(const render::Vec3* vectors, int x, int y, int z);

struct Angles {
    double x = 0, y = 0, z = 0;
};
// Angles in degrees with hostPartRotation(x, y, z) == r (before rounding),
// of the two solutions the one nearest `near`, each angle within 180 of
// its counterpart in `near`, so successive frames unwind smoothly.
Angles anglesOf(const Mat3d& r, const Angles& near);

}  // namespace tessmodel
