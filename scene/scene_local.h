// scene/scene_local.h: shared by the scene's sources only.
#pragma once
#include <cmath>

#include "render/matrix.h"
#include "scene/scene_store.h"

namespace scene {

enum class ListOrder { NearestFirst, FarthestFirst };

// Writes each entry's distance to the eye and exchange-sorts the whole
// records: for each position i, every later entry strictly nearer (or
// farther) is swapped in. Equal distances never swap. With fewer than two
// entries nothing is computed.
template <typename Entry>
void sortByDistance(DrawList<Entry>& list, render::Vec3 eye, ListOrder order) {
    if (list.count < 2) return;
    for (int i = 0; i < list.count; ++i) {
        Entry& e = list.entries[i];
        const float dx = e.x - eye.x, dy = e.y - eye.y, dz = e.z - eye.z;
        e.distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    }
    for (int i = 0; i < list.count - 1; ++i) {
        for (int j = i + 1; j < list.count; ++j) {
            const float a = list.entries[j].distance, b = list.entries[i].distance;
            const bool swap = order == ListOrder::NearestFirst ? a < b : a > b;
            if (swap) {
                Entry held = list.entries[i];
                list.entries[i] = list.entries[j];
                list.entries[j] = held;
            }
        }
    }
}

// The entry of the 360-entry degree table for an angle in degrees:
// truncated toward zero to whole degrees, then wrapped into 0-359. An angle
// that is not a number, or too large to count in whole degrees, is 0.
inline int degreeIndex(float degrees) {
    if (!(std::fabs(degrees) < 1.0e9f)) return 0;
    int whole = int(degrees) % 360;
    return whole < 0 ? whole + 360 : whole;
}

// Sorts and draws the object list (the part-tree traversals).
void drawObjectList(SceneStore& store, DrawList<DrawEntry>& list, ListOrder order, render::Vec3 eye,
                    const FrameTargets& targets);
// Sorts (farthest first) and draws a board list with the board model.
void drawBoardList(SceneStore& store, DrawList<BoardEntry>& list, render::Vec3 eye, const FrameTargets& targets);

}  // namespace scene
