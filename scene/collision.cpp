// Collision volumes: the entry test, the response, checkObst and checkHit.
#include "scene/collision.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/objects.h"
#include "scene/scene_store.h"

namespace scene {

namespace {

using render::Matrix;
using render::Vec3;

constexpr float kParallel = 0.0001f;      // |n . direction| at or below: the segment runs along the plane
constexpr float kEntrySearch = 4.0f;      // x (radius + margin): how far an entry plane may lie
constexpr float kFloorTilt = 1.0f;        // acos(w.y) up to this: a floor (about 57.3 degrees)
constexpr float kSteepTilt = 0.75f;       // above this a floor pushes off (about 43 degrees)
constexpr float kHalfTurn = 3.1415925f;
constexpr float kWallPushStart = 100.0f;  // the wall slide projects from this far out
constexpr float kWallClearance = 0.125f;

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The inverse of a rotation: its transpose.
Matrix inverseRotation(const Matrix& r) {
    Matrix t = render::identityMatrix();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t.m[i][j] = r.m[j][i];
    return t;
}

// A direction turned by the rotation part of m.

// A world point in the frame of a shape placed with rotation r (whose
// inverse is `inverse`) and the offset turned by r.
Vec3 toLocal(Vec3 p, const model::COLLISION_SHAPE& shape, Vec3 turnedOffset, const Matrix& inverse) {
    return render::transformPoint(p - shape.position - turnedOffset, inverse);
}

// Both ends beyond one face of the cube of half-size `half` around the
// shape's origin: the segment cannot enter.
bool cubeRejects(Vec3 start, Vec3 end, float half) {
    if ((start.x > half && end.x > half) || (start.x < -half && end.x < -half)) return true;
    if ((start.y > half && end.y > half) || (start.y < -half && end.y < -half)) return true;
    return (start.z > half && end.z > half) || (start.z < -half && end.z < -half);
}

// The rotation of each obstacle slot, kept while its angles stay the same
// to the bit: the same matrix obstacleRotation builds, without the sines
// and cosines of every query. One table for the process, as queries run
// on the main thread only.
struct CachedRotation {
    Vec3 degrees{std::nanf(""), 0.0f, 0.0f};
    Matrix rotation;
    Matrix inverse;
};
CachedRotation rotations[kObjectSlots];

const CachedRotation& slotRotation(int slot, Vec3 degrees) {
    CachedRotation& c = rotations[slot];
    if (std::memcmp(&c.degrees, &degrees, sizeof degrees) != 0) {
        c.degrees = degrees;
        c.rotation = obstacleRotation(degrees.x, degrees.y, degrees.z);
        c.inverse = inverseRotation(c.rotation);
    }
    return c;
}

// Height of the plane w . p = wq at (x, z), raised by `margin`.
float raisedHeight(Vec3 w, float wq, float x, float z, float margin) {
    return margin - (w.x * x + w.z * z - wq) / w.y;
}

int respond(model::OBJECT& object, Vec3 position, const Matrix& r, Vec3& a, Vec3& b, float c, bool isRetry) {
    model::COLLISION_SHAPE& shape = object.collisionShape;
    shape.matrix = r;
    shape.position = position;
    Vec3 entryA = a, entryB = b;
    if (!enterVolume(shape, entryA, entryB, c * object.scale)) return kNoEntry;
    const int plane = shape.hitPlane;
    if (plane < 0 || plane >= shape.planeCount) return kNoEntry;
    const model::CollisionPlane& p = shape.planes[plane];
    const Vec3 w = render::normalize(render::transformDirection(p.normal, r));
    const Vec3 q = render::transformPoint(p.point + shape.offset, r) + position;
    const float wq = render::dot(w, q);
    const float tilt = std::acos(w.y);

    if (tilt <= kFloorTilt) {
        const float y = w.y == 0.0f ? b.y : raisedHeight(w, wq, b.x, b.z, c);
        if (y < b.y) return kNoEntry;
        Vec3 end{b.x, y, b.z};
        int code = kFloor;
        if (tilt > kSteepTilt) {
            const Vec3 up = render::transformDirection({0.0f, 1.0f, 0.0f}, render::rotationAxis(w, kHalfTurn));
            end = end + up * 0.5f;
            if (w.y != 0.0f) end.y = raisedHeight(w, wq, end.x, end.z, c);
            code = kSteepFloor;
        }
        if (!finite(end)) return kNoEntry;
        b = end;
        return code;
    }

    // A wall: perhaps only a step, cleared by starting `c` higher.
    if (!isRetry) {
        Vec3 liftedA{a.x, a.y + c, a.z}, retryB = b;
        if (respond(object, position, r, liftedA, retryB, c, true) <= kFloor) {
            a = liftedA;
            b = retryB;
            return kFloor;
        }
    }
    const Vec3 start = b + w * kWallPushStart;
    const Vec3 dir = w * -1.0f;
    const float denom = render::dot(w, dir);
    if (std::fabs(denom) > kParallel) {
        const float t = (wq + c - render::dot(w, start)) / denom;
        const Vec3 slid = start + dir * t + w * kWallClearance;
        if (finite(slid)) b = slid;
    }
    return kWall;
}

}  // namespace

Matrix obstacleRotation(float rx, float ry, float rz) {
    return render::multiply(render::multiply(render::rotationY(ry * kDegreesToRadians),
                                             render::rotationX(rx * kDegreesToRadians)),
                            render::rotationZ(rz * kDegreesToRadians));
}

Matrix pickRotation(float rx, float ry, float rz) {
    return render::multiply(render::multiply(render::rotationX(rx * kDegreesToRadians),
                                             render::rotationY(ry * kDegreesToRadians)),
                            render::rotationZ(rz * kDegreesToRadians));
}

bool enterVolume(model::COLLISION_SHAPE& shape, Vec3& a, Vec3& b, float c) {
    if (shape.planeCount <= 0) return false;
    const Matrix& r = shape.matrix;
    const Matrix inverse = inverseRotation(r);
    const Vec3 offset = render::transformPoint(shape.offset, r);
    Vec3 start = toLocal(a, shape, offset, inverse);
    Vec3 end = toLocal(b, shape, offset, inverse);
    if (!finite(start) || !finite(end) || !std::isfinite(c)) return false;
    const float half = shape.radius + c;
    if (cubeRejects(start, end, half)) return false;

    const float span = render::length(end - start);
    const Vec3 dir = span > 0.0f ? (end - start) * (1.0f / span) : Vec3{};
    const int planes = std::min(shape.planeCount, model::kCollisionPlanes);
    int entry = -1;
    for (int i = 0; i < planes; ++i) {
        const model::CollisionPlane& p = shape.planes[i];
        const float d = p.d + c;
        const bool startOut = render::dot(p.normal, start) - d > 0.0f;
        const bool endOut = render::dot(p.normal, end) - d > 0.0f;
        if (startOut && endOut) return false;
        if (startOut == endOut) continue;
        if (startOut) entry = i;
        const float along = render::dot(p.normal, dir);
        if (std::fabs(along) <= kParallel) continue;
        const Vec3 cut = start + dir * ((d - render::dot(p.normal, start)) / along);
        if (startOut) start = cut;
        else end = cut;
    }
    if (entry < 0) {
        // The start is inside: the nearest plane along the segment, either
        // way; on a tie the later plane.
        float best = kEntrySearch * half;
        for (int i = 0; i < planes; ++i) {
            const model::CollisionPlane& p = shape.planes[i];
            const float along = render::dot(p.normal, dir);
            if (std::fabs(along) <= kParallel) continue;
            const float distance = std::fabs((p.d + c - render::dot(p.normal, start)) / along);
            if (distance <= best) {
                best = distance;
                entry = i;
            }
        }
    }
    const Vec3 world = render::transformPoint(start, r) + offset + shape.position;
    if (!finite(world)) return false;
    a = b = world;
    shape.hitPlane = entry;
    return true;
}

int respondToVolume(model::OBJECT& object, Vec3 position, Vec3 degrees, Vec3& a, Vec3& b, float margin) {
    if (!finite(position) || !finite(degrees) || !finite(a) || !finite(b)) return kNoEntry;
    return respond(object, position, obstacleRotation(degrees.x, degrees.y, degrees.z), a, b, margin, false);
}

// Most obstacles lie far from the movement: the cube test of the entry
// test is run first, on the same values, and an obstacle it rejects is
// left out; what the entry test would have answered for it is "no entry".
int checkObst(SceneStore& store, ObjectRecord& record, int skipIndex) {
    Vec3 start{record.lastX, record.lastY, record.lastZ};
    Vec3 end{record.x, record.y, record.z};
    int result = kNoEntry;
    if (!finite(start) || !finite(end)) return result;
    for (int j = 0; j < kObjectSlots; ++j) {
        if (j == record.index || j == skipIndex) continue;
        const ObjectSlot& slot = store.objectSlot(j);
        if (!slot.active || !slot.obstacle || slot.model < 0) continue;
        model::CHARA* obstacle = store.modelOf(j);
        if (!obstacle) continue;
        const Vec3 position{slot.x, slot.y, slot.z}, degrees{slot.rx, slot.ry, slot.rz};
        if (!finite(position) || !finite(degrees)) continue;
        model::COLLISION_SHAPE& shape = obstacle->collisionShape;
        if (shape.planeCount <= 0) continue;
        const CachedRotation& r = slotRotation(j, degrees);
        shape.matrix = r.rotation;
        shape.position = position;
        const float margin = kObstacleMargin * obstacle->scale;
        const Vec3 offset = render::transformPoint(shape.offset, r.rotation);
        if (cubeRejects(toLocal(start, shape, offset, r.inverse), toLocal(end, shape, offset, r.inverse),
                        shape.radius + margin))
            continue;
        const int code = respond(*obstacle, position, r.rotation, start, end, kObstacleMargin, false);
        result = std::max(result, code);
    }
    if (result > 0) {
        record.x = end.x;
        record.y = end.y;
        record.z = end.z;
    }
    return result;
}

bool checkHit(SceneStore& store, ObjectRecord& record, Vec3 from, Vec3 to) {
    model::CHARA* object = store.modelOf(record.index);
    if (!object) return false;
    const ObjectSlot& slot = store.objectSlot(record.index);
    const int code =
        respondToVolume(*object, {slot.x, slot.y, slot.z}, {slot.rx, slot.ry, slot.rz}, from, to, kHitMargin);
    // The hit point is the one found by the last check that hit: a miss
    // leaves it alone.
    if (code <= 0) return false;
    record.hitX = to.x;
    record.hitY = to.y;
    record.hitZ = to.z;
    return true;
}

}  // namespace scene
