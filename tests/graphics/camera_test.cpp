#include <gtest/gtest.h>

#include <cmath>

#include "graphics/camera.h"

namespace {

using graphics::Camera;
using render::Vec3;

float distance(Vec3 a, Vec3 b) { return render::length(a - b); }

TEST(CameraView, FailedBuildKeepsThePreviousView) {
    Camera camera;
    camera.eye = {0.0f, 5.0f, -20.0f};
    ASSERT_TRUE(camera.updateView());
    const render::Matrix good = camera.view();
    // The eye maps to the origin of view space.
    Vec3 eyeInView = render::transformPoint(camera.eye, good);
    EXPECT_NEAR(render::length(eyeInView), 0.0f, 1e-4f);
    camera.eye = camera.target;
    EXPECT_FALSE(camera.updateView());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(camera.view().m[r][c], good.m[r][c]);
}

TEST(CameraTables, DegreesAndProjectionAreTheFixedOnes) {
    Camera camera;
    EXPECT_EQ(camera.degree(0), 0.0f);
    EXPECT_EQ(camera.degree(90), float(90 * M_PI / 180.0));
    EXPECT_EQ(camera.degree(359), float(359 * M_PI / 180.0));
    EXPECT_NEAR(camera.projection().m[0][0], 4.2534618f, 1e-5f);
    EXPECT_NEAR(camera.projection().m[1][1], 5.6712825f, 1e-5f);
    EXPECT_NEAR(camera.projection().m[3][2], -1.001001f, 1e-6f);
}

TEST(WorldToScreen, TargetIsTheCentreAndPointsOutsideAreRefused) {
    Camera camera;
    camera.eye = {0.0f, 5.0f, -20.0f};
    int x = -1, y = -1;
    ASSERT_TRUE(camera.worldToScreen(camera.target, x, y));
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);
    // From an oblique eye the target's projection is off the centre by a
    // rounding error at most, which truncation may turn into a pixel.
    camera.eye = {3.0f, 8.0f, -25.0f};
    camera.target = {1.0f, 0.5f, 2.0f};
    ASSERT_TRUE(camera.worldToScreen(camera.target, x, y));
    EXPECT_NEAR(x, 320, 1);
    EXPECT_NEAR(y, 240, 1);
    // Far to the side of a 20-degree view.
    EXPECT_FALSE(camera.worldToScreen({200.0f, 0.5f, 2.0f}, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // Up on screen is +y in the world.
    ASSERT_TRUE(camera.worldToScreen({1.0f, 2.0f, 2.0f}, x, y));
    EXPECT_EQ(x, 320);
    EXPECT_LT(y, 240);
    camera.eye = camera.target;
    EXPECT_FALSE(camera.worldToScreen({0.0f, 0.0f, 0.0f}, x, y));
}

TEST(ScreenToWorld, CentreLiesOnTheLineOfSightAndCornersComeBack) {
    Camera camera;
    camera.eye = {4.0f, 6.0f, -18.0f};
    camera.target = {-1.0f, 0.0f, 3.0f};
    const float depth = 12.0f;
    Vec3 centre = camera.screenToWorld(320, 240, depth);
    EXPECT_NEAR(distance(centre, camera.eye), depth, 1e-3f);
    // On the line from the eye through the target, up to the decimal angle
    // constants: 6.28 and 1.57 turn the yaw by about 0.0024 radians.
    Vec3 along = camera.eye + render::normalize(camera.target - camera.eye) * depth;
    EXPECT_LT(distance(centre, along), 0.05f);
    // A screen point turned into the world and back lands where it began,
    // shifted by the same few pixels to the left.
    for (auto [sx, sy] : {std::pair{100, 50}, {600, 400}, {320, 20}}) {
        Vec3 world = camera.screenToWorld(sx, sy, 30.0f);
        int x = 0, y = 0;
        ASSERT_TRUE(camera.worldToScreen(world, x, y));
        EXPECT_GE(x, sx - 5);
        EXPECT_LE(x, sx);
        EXPECT_NEAR(y, sy, 2);
    }
    // Any integer a script passes gives a defined point.
    Vec3 far = camera.screenToWorld(2147483647, -2147483647 - 1, 1.0f);
    EXPECT_TRUE(std::isfinite(far.x) && std::isfinite(far.y) && std::isfinite(far.z));
}

}  // namespace
