// scene/scene_records.h
#pragma once
#include <cstdint>

namespace scene {

// The scene store's fixed tables.
constexpr int kObjectSlots = 600;      // placed objects, by PorigonManager index
constexpr int kModelSlots = 50;        // distinct models loaded at once
constexpr int kDrawLists = 5;          // opaque, transparent, boards 0, 1, 2
constexpr int kDrawListEntries = 600;  // entries of each list per frame

// The record behind a PorigonManager instance: a 3D model placed in the
// scene. The script instance owns it and fills its members; the scene
// reads it when the instance is queued, updated or tested. Member order is
// fixed: the script class binds each member by its offset.
struct ObjectRecord {
    float lastX = 0, lastY = 0, lastZ = 0;     // copied by update()
    float lastRx = 0, lastRy = 0, lastRz = 0;
    float hitX = 0, hitY = 0, hitZ = 0;        // point of the last checkHit
    int32_t index = -1;                        // object slot, 0 to 599
    float x = 0, y = 0, z = 0;
    float rx = 0, ry = 0, rz = 0;              // degrees
    int32_t animeIndex = 0;
    float animeFrame = 0;
    uint8_t isAlpha = 0;
    uint8_t isMask = 0;
    uint8_t isObst = 1;
    float scaleX = 1, scaleY = 1, scaleZ = 1;
    float colorR = 1, colorG = 1, colorB = 1, colorA = 1;
    uint8_t isSetColor = 0;

    // The start of the next movement that checkObst tests.
    void rememberPlacement() {
        lastX = x, lastY = y, lastZ = z;
        lastRx = rx, lastRy = ry, lastRz = rz;
    }
};

// The record behind a BoardManager instance: a billboard.
struct BoardRecord {
    float rote = 0;                            // roll about the board's own z axis, degrees
    int32_t textureIndex = -1;                 // script texture slot, 0 to 99
    float x = 0, y = 0, z = 0;
    float rx = 0, ry = 0, rz = 0;
    float top = 0, left = 0, bottom = 0, right = 0;  // texture pixels
    float scaleX = 0, scaleY = 0, scaleZ = 0;
    float colorR = 1, colorG = 1, colorB = 1, colorA = 1;
    int32_t effectType = 0;                    // 0 normal, 1 no depth test, 2 additive
};

}  // namespace scene
