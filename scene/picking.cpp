// findNearMousePos: the nearest object slot along a segment.
#include "scene/picking.h"

#include <cmath>

#include "model/objects.h"
#include "scene/collision.h"
#include "scene/scene_store.h"

namespace scene {

PickResult pickObject(SceneStore& store, render::Vec3 eye, render::Vec3 nearPoint, render::Vec3 farPoint) {
    PickResult result;
    result.offset = {};
    result.distance = kPickFarDepth;
    float best = kPickFarDepth;
    for (int j = 0; j < kObjectSlots; ++j) {
        const ObjectSlot& slot = store.objectSlot(j);
        if (slot.model < 0) continue;
        model::CHARA* object = store.modelOf(j);
        if (!object) continue;
        const render::Vec3 position{slot.x, slot.y, slot.z};
        model::COLLISION_SHAPE& shape = object->collisionShape;
        shape.matrix = pickRotation(slot.rx, slot.ry, slot.rz);
        shape.position = position;
        render::Vec3 a = nearPoint, b = farPoint;
        if (!enterVolume(shape, a, b, 0.0f)) continue;
        const float distance = render::length(a - nearPoint);
        if (distance < best) {
            best = distance;
            result.slot = j;
            result.offset = position - a;
            result.distance = render::length(eye - a);
        }
    }
    return result;
}

}  // namespace scene
