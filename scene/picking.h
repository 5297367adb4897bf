// scene/picking.h
#pragma once
#include "render/matrix.h"

namespace scene {

class SceneStore;

constexpr float kPickNearDepth = 0.25f;
constexpr float kPickFarDepth = 1000.0f;

// What findNearMousePos leaves for its getters.
struct PickResult {
    int slot = -1;           // object slot hit, -1 none
    render::Vec3 offset;     // slot position - hit point; 0 when nothing is hit
    float distance = 1000.0f;  // from the eye to the hit point; 1000 when nothing is hit
};

// The object slot with a model (active or not) whose collision volume the
// segment nearPoint -> farPoint enters nearest to nearPoint, each model
// turned Rx x Ry x Rz by its slot's angles. Slots are tried in index order
// and a later one wins only when strictly nearer; nothing nearer than 1000
// from nearPoint counts.
PickResult pickObject(SceneStore& store, render::Vec3 eye, render::Vec3 nearPoint, render::Vec3 farPoint);

}  // namespace scene
