// scene/collision.h
#pragma once
#include "model/collision_shape.h"
#include "render/matrix.h"
#include "scene/scene_records.h"

namespace model {
class OBJECT;
}  // namespace model

namespace scene {

class SceneStore;

constexpr float kObstacleMargin = 0.025f;  // checkObst
constexpr float kHitMargin = 0.25f;        // checkHit
constexpr float kDegreesToRadians = 0.017453292f;

// Codes of the volume response: no entry, lifted onto a floor-like plane,
// lifted and pushed off a steep one, slid along a wall.
constexpr int kNoEntry = -1;
constexpr int kFloor = 1;
constexpr int kSteepFloor = 2;
constexpr int kWall = 3;

// Rotation of an obstacle or hit-tested model: Ry x Rx x Rz of angles in
// degrees (each x 0.017453292).
render::Matrix obstacleRotation(float rx, float ry, float rz);
// Rotation of a picked model: Rx x Ry x Rz.
render::Matrix pickRotation(float rx, float ry, float rz);

// Whether the segment a -> b enters the shape as placed (its position,
// matrix and offset), each plane pushed out by `margin`. On an entry both
// a and b become the entry point in world coordinates and the shape's
// hitPlane the plane entered through: the last plane the segment crossed
// from outside, or with the start already inside the nearest plane along
// the segment within 4 x (radius + margin), -1 when none is. A shape
// without planes is never entered; neither is it by a point or placement
// that is not finite.
bool enterVolume(model::COLLISION_SHAPE& shape, render::Vec3& a, render::Vec3& b, float margin);

// The volume response of the movement a -> b against `object` placed at
// `position` with `degrees` (rx, ry, rz): kNoEntry, or kFloor / kSteepFloor
// with b lifted onto the plane entered (raised by `margin`), or kFloor
// after a step-up retry (a lifted by `margin`, b as the retry left it),
// or kWall with b slid onto the wall pushed out by `margin`. a and b
// change only with a code above 0.
int respondToVolume(model::OBJECT& object, render::Vec3 position, render::Vec3 degrees, render::Vec3& a,
                    render::Vec3& b, float margin);

// checkObst: the movement of `record` from its last update() to its
// current x, y, z against every active obstacle slot with a model except
// the record's own and `skipIndex`, the end corrected by each obstacle in
// turn. The largest code, -1 when nothing was hit; above 0 the record's
// x, y, z become the corrected end.
int checkObst(SceneStore& store, ObjectRecord& record, int skipIndex);

// checkHit: the segment from -> to against the record's own model placed
// as its slot's last update() left it, margin 0.25. False without a model.
// With a model the hit point becomes the end, corrected when hit.
bool checkHit(SceneStore& store, ObjectRecord& record, render::Vec3 from, render::Vec3 to);

}  // namespace scene
