// tests/render/matrix_test.cpp
#include <gtest/gtest.h>

#include <cmath>

#include "render/matrix.h"

using namespace render;

namespace {

void expectNear(Vec3 a, Vec3 b) {
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}

}  // namespace

TEST(ProjectionMatrix, GameProjectionHasTheDocumentedEntries) {
    Matrix m;
    ASSERT_TRUE(buildPerspective(m, 0.3490658f, 0.75f, 1.0f, 1000.0f));
    EXPECT_NEAR(m.m[0][0], 4.2534618f, 1e-5f);
    EXPECT_NEAR(m.m[1][1], 5.6712825f, 1e-5f);
    EXPECT_NEAR(m.m[2][2], 1.001001f, 1e-6f);
    EXPECT_NEAR(m.m[3][2], -1.001001f, 1e-6f);
    EXPECT_EQ(m.m[2][3], 1.0f);
    EXPECT_EQ(m.m[3][3], 0.0f);
    EXPECT_EQ(m.m[0][1], 0.0f);
    EXPECT_EQ(m.m[3][0], 0.0f);
}

TEST(ProjectionMatrix, RefusesEqualPlanesAndZeroFieldOfViewKeepingTheMatrix) {
    Matrix m = translationMatrix(1, 2, 3);
    EXPECT_FALSE(buildPerspective(m, 0.35f, 0.75f, 5.0f, 5.0f));
    EXPECT_FALSE(buildPerspective(m, 0.35f, 0.75f, 5.0f, 5.005f));
    EXPECT_FALSE(buildPerspective(m, 0.0f, 0.75f, 1.0f, 100.0f));
    EXPECT_EQ(m.m[3][1], 2.0f);
}

TEST(ProjectionMatrix, MapsNearPlaneToZeroAndFarPlaneToOne) {
    Matrix m;
    ASSERT_TRUE(buildPerspective(m, 0.3490658f, 0.75f, 1.0f, 1000.0f));
    for (float z : {1.0f, 1000.0f}) {
        float clipZ = z * m.m[2][2] + m.m[3][2];
        float clipW = z * m.m[2][3];
        EXPECT_NEAR(clipZ / clipW, z == 1.0f ? 0.0f : 1.0f, 1e-6f);
    }
}

TEST(LookAtMatrix, LooksDownPositiveZFromTheOrigin) {
    Matrix m;
    ASSERT_TRUE(buildLookAt(m, {0, 0, 0}, {0, 0, 10}, {0, 1, 0}));
    Matrix id = identityMatrix();
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(m.m[i][j], id.m[i][j], 1e-6f);
}

TEST(LookAtMatrix, PutsTargetOnPositiveZAndEyeAtOrigin) {
    Matrix m;
    Vec3 eye{3, 4, -5}, target{-2, 1, 7};
    ASSERT_TRUE(buildLookAt(m, eye, target, {0, 1, 0}));
    expectNear(transformPoint(eye, m), {0, 0, 0});
    expectNear(transformPoint(target, m), {0, 0, length(target - eye)});
    // A point above the eye stays above in view space.
    EXPECT_GT(transformPoint(eye + Vec3{0, 1, 0}, m).y, 0.0f);
}

TEST(LookAtMatrix, FallsBackWhenUpIsParallelToTheView) {
    Matrix m;
    // Straight up with up (0, 1, 0): the up vector becomes (0, 0, 1).
    ASSERT_TRUE(buildLookAt(m, {0, 0, 0}, {0, 5, 0}, {0, 1, 0}));
    EXPECT_NEAR(m.m[0][1], 0.0f, 1e-6f);
    EXPECT_NEAR(m.m[1][1], 0.0f, 1e-6f);
    EXPECT_NEAR(m.m[2][1], 1.0f, 1e-6f);
    EXPECT_NEAR(m.m[1][2], 1.0f, 1e-6f);
    // A zero up vector falls back to (0, 1, 0).
    ASSERT_TRUE(buildLookAt(m, {0, 0, 0}, {0, 0, 1}, {0, 0, 0}));
    EXPECT_NEAR(m.m[1][1], 1.0f, 1e-6f);
}

TEST(LookAtMatrix, RefusesCoincidentPointsKeepingTheMatrix) {
    Matrix m = translationMatrix(7, 8, 9);
    EXPECT_FALSE(buildLookAt(m, {1, 2, 3}, {1, 2, 3}, {0, 1, 0}));
    EXPECT_FALSE(buildLookAt(m, {1, 2, 3}, {1, 2, 3.0000001f}, {0, 1, 0}));
    EXPECT_EQ(m.m[3][0], 7.0f);
}

TEST(RotationMatrices, FollowTheLeftHandedConventions) {
    const float quarter = 1.5707964f;
    expectNear(transformPoint({0, 1, 0}, rotationX(quarter)), {0, 0, 1});
    expectNear(transformPoint({0, 0, 1}, rotationY(quarter)), {1, 0, 0});
    expectNear(transformPoint({1, 0, 0}, rotationZ(quarter)), {0, 1, 0});
    Matrix x = rotationX(0.3f);
    EXPECT_NEAR(x.m[1][2], std::sin(0.3f), 1e-7f);
    EXPECT_NEAR(x.m[2][1], -std::sin(0.3f), 1e-7f);
}

TEST(RotationMatrices, AxisFormMatchesTheAxisRotationsAndNormalisesTheAxis) {
    for (float angle : {0.4f, -1.2f, 2.5f}) {
        Matrix a = rotationAxis({3, 0, 0}, angle), b = rotationX(angle);
        Matrix c = rotationAxis({0, 0.5f, 0}, angle), d = rotationY(angle);
        Matrix e = rotationAxis({0, 0, 2}, angle), f = rotationZ(angle);
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-6f);
                EXPECT_NEAR(c.m[i][j], d.m[i][j], 1e-6f);
                EXPECT_NEAR(e.m[i][j], f.m[i][j], 1e-6f);
            }
        }
    }
    Vec3 axis = normalize({1, 1, 1});
    expectNear(transformPoint(axis, rotationAxis({1, 1, 1}, 0.7f)), axis);
}

TEST(MatrixProduct, LeftOperandActsFirst) {
    Matrix scaleThenMove = multiply(scalingMatrix(2, 2, 2), translationMatrix(1, 0, 0));
    expectNear(transformPoint({1, 1, 1}, scaleThenMove), {3, 2, 2});
    Matrix moveThenScale = multiply(translationMatrix(1, 0, 0), scalingMatrix(2, 2, 2));
    expectNear(transformPoint({1, 1, 1}, moveThenScale), {4, 2, 2});
}
