// PorigonManager and BoardManager: script instances wrapping scene records.
#include <cmath>
#include <cstddef>
#include <new>

#include "graphics/camera.h"
#include "scene/collision.h"
#include "scene/field.h"
#include "scene/scene_records.h"
#include "scene/scene_store.h"
#include "script/script_api.h"
#include "script/script_host.h"

namespace script {

namespace {

const render::Vec3& eye() { return ScriptHost::current()->camera().eye; }
scene::SceneStore* store() { return ScriptHost::current()->parts().scene; }
scene::Field* field() { return ScriptHost::current()->parts().field; }

template <typename Record>
void initRecord(void* memory) {
    new (memory) Record();
}

using scene::BoardRecord;
using PorigonRecord = scene::ObjectRecord;

PorigonRecord& porigon(void* record) { return *static_cast<PorigonRecord*>(record); }
BoardRecord& board(void* record) { return *static_cast<BoardRecord*>(record); }

// Without a scene store models never load, nothing is queued or hit, and
// an animation has no frames; update() still keeps its last-update copy.
// Without a field checkField finds no ground (-2).
void porigonLoad(void* p, const Argument* a, Result& r) {
    r.b = store() && store()->attachModel(porigon(p).index, a[0].s);
}
void porigonUnload(void* p, const Argument*, Result&) {
    if (store()) store()->detachModel(porigon(p).index);
}
void porigonDraw(void* p, const Argument*, Result&) {
    if (store()) store()->queueObject(porigon(p));
}
void porigonGetMaxAnimeFrame(void* p, const Argument* a, Result& r) {
    r.f = store() ? store()->maxAnimeFrame(porigon(p).index, a[0].i) : -1.0f;
}
void porigonUpdate(void* p, const Argument*, Result&) {
    if (store()) store()->registerObject(porigon(p));
    else porigon(p).rememberPlacement();
}
void porigonCheckHit(void* p, const Argument* a, Result& r) {
    r.b = store() && scene::checkHit(*store(), porigon(p), {a[0].f, a[1].f, a[2].f}, {a[3].f, a[4].f, a[5].f});
}
void porigonGetHitX(void* p, const Argument*, Result& r) { r.f = porigon(p).hitX; }
void porigonGetHitY(void* p, const Argument*, Result& r) { r.f = porigon(p).hitY; }
void porigonGetHitZ(void* p, const Argument*, Result& r) { r.f = porigon(p).hitZ; }
// The flag argument of checkObst changes nothing.
void porigonCheckObst(void* p, const Argument* a, Result& r) {
    const int skip = a[0].i >= 0 && a[0].i < scene::kObjectSlots ? int(a[0].i) : -1;
    r.i = store() ? scene::checkObst(*store(), porigon(p), skip) : -1;
}
void porigonCheckField(void* p, const Argument*, Result& r) {
    PorigonRecord& o = porigon(p);
    render::Vec3 point{o.x, o.y, o.z};
    r.i = field() ? field()->checkGround(point) : -2;
    if (r.i > 0) o.x = point.x, o.y = point.y, o.z = point.z;
}
void porigonLookAtCamera(void* p, const Argument*, Result&) {
    PorigonRecord& o = porigon(p);
    lookAtCamera(o.x, o.y, o.z, eye().x, eye().y, eye().z, o.rx, o.ry);
}
void boardDraw(void* p, const Argument*, Result&) {
    if (store()) store()->queueBoard(board(p));
}
void boardLookAtCamera(void* p, const Argument*, Result&) {
    BoardRecord& b = board(p);
    lookAtCamera(b.x, b.y, b.z, eye().x, eye().y, eye().z, b.rx, b.ry);
}

#define PORIGON_MEMBER(name, type) {#name, MemberType::type, int32_t(offsetof(PorigonRecord, name))}
#define BOARD_MEMBER(name, type) {#name, MemberType::type, int32_t(offsetof(BoardRecord, name))}

constexpr MemberDef kPorigonMembers[] = {
    PORIGON_MEMBER(index, Integer),   PORIGON_MEMBER(x, Float),
    PORIGON_MEMBER(y, Float),         PORIGON_MEMBER(z, Float),
    PORIGON_MEMBER(rx, Float),        PORIGON_MEMBER(ry, Float),
    PORIGON_MEMBER(rz, Float),        PORIGON_MEMBER(isAlpha, Bool),
    PORIGON_MEMBER(isMask, Bool),     PORIGON_MEMBER(isObst, Bool),
    PORIGON_MEMBER(animeIndex, Integer), PORIGON_MEMBER(animeFrame, Float),
    PORIGON_MEMBER(scaleX, Float),    PORIGON_MEMBER(scaleY, Float),
    PORIGON_MEMBER(scaleZ, Float),    PORIGON_MEMBER(colorR, Float),
    PORIGON_MEMBER(colorG, Float),    PORIGON_MEMBER(colorB, Float),
    PORIGON_MEMBER(colorA, Float),    PORIGON_MEMBER(isSetColor, Bool),
};

constexpr MethodDef kPorigonMethods[] = {
    {"load", "s", 'b', porigonLoad},
    {"unload", "", 0, porigonUnload},
    {"draw", "", 0, porigonDraw},
    {"getMaxAnimeFrame", "i", 'f', porigonGetMaxAnimeFrame},
    {"update", "", 0, porigonUpdate},
    {"checkHit", "ffffff", 'b', porigonCheckHit},
    {"getHitX", "", 'f', porigonGetHitX},
    {"getHitY", "", 'f', porigonGetHitY},
    {"getHitZ", "", 'f', porigonGetHitZ},
    {"checkObst", "ib", 'i', porigonCheckObst},
    {"checkField", "", 'i', porigonCheckField},
    {"lookAtCamera", "", 0, porigonLookAtCamera},
};

constexpr MemberDef kBoardMembers[] = {
    BOARD_MEMBER(textureIndex, Integer), BOARD_MEMBER(x, Float),
    BOARD_MEMBER(y, Float),              BOARD_MEMBER(z, Float),
    BOARD_MEMBER(rx, Float),             BOARD_MEMBER(ry, Float),
    BOARD_MEMBER(rz, Float),             BOARD_MEMBER(rote, Float),
    BOARD_MEMBER(top, Float),            BOARD_MEMBER(left, Float),
    BOARD_MEMBER(bottom, Float),         BOARD_MEMBER(right, Float),
    BOARD_MEMBER(scaleX, Float),         BOARD_MEMBER(scaleY, Float),
    BOARD_MEMBER(scaleZ, Float),         BOARD_MEMBER(colorR, Float),
    BOARD_MEMBER(colorG, Float),         BOARD_MEMBER(colorB, Float),
    BOARD_MEMBER(colorA, Float),         BOARD_MEMBER(effectType, Integer),
};

constexpr MethodDef kBoardMethods[] = {
    {"draw", "", 0, boardDraw},
    {"lookAtCamera", "", 0, boardLookAtCamera},
};

#undef PORIGON_MEMBER
#undef BOARD_MEMBER

constexpr ClassDef kPorigonManager = {
    "PorigonManager", sizeof(PorigonRecord), initRecord<PorigonRecord>,
    kPorigonMembers,  int(std::size(kPorigonMembers)),
    kPorigonMethods,  int(std::size(kPorigonMethods)),
};

constexpr ClassDef kBoardManager = {
    "BoardManager", sizeof(BoardRecord), initRecord<BoardRecord>,
    kBoardMembers,  int(std::size(kBoardMembers)),
    kBoardMethods,  int(std::size(kBoardMethods)),
};

}  // namespace

const ClassDef& porigonManagerClass() { return kPorigonManager; }
const ClassDef& boardManagerClass() { return kBoardManager; }

// The angle constants 1.57, 3.14 and 6.28 stand in for the multiples of
// pi, and degrees come from 180 / 3.14: the poses scripts expect.
void lookAtCamera(float x, float y, float z, float eyeX, float eyeY, float eyeZ, float& rx,
                  float& ry) {
    const float dx = x - eyeX, dy = y - eyeY, dz = z - eyeZ;
    float heading;
    if (dx != 0.0f) heading = std::atan2(dz, dx) + 1.57f;
    else heading = dz < 0.0f ? 0.0f : 3.14f;
    float yaw = 6.28f - heading;
    if (yaw < 0.0f) yaw += 6.28f;
    if (yaw >= 6.28f) yaw -= 6.28f;
    const float forward = dx * std::sin(yaw) + dz * std::cos(yaw);
    ry = yaw * 180.0f / 3.14f;
    float pitch = -std::atan2(dy, -forward);
    if (pitch < 0.0f) pitch += 6.28f;
    if (pitch >= 6.28f) pitch -= 6.28f;
    rx = 360.0f - pitch * 180.0f / 3.14f;
}

}  // namespace script
