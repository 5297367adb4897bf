// Key-frame animation: parts posed at whole frames, angles in whole
// degrees 0..359 so that drawing can look them up in its degree table.
#include <cmath>
#include <limits>

#include "model/objects.h"

namespace model {

namespace {

// Degrees to turn from a to b: up or down as the direction says, across 0
// when needed; no turn when the angles are equal or the direction is 0.
int angleChange(int a, int b, int direction) {
    if (a == b || direction == 0) return 0;
    if (direction > 0) return b > a ? b - a : b - a + 360;
    return b < a ? b - a : b - a - 360;
}

// Truncation toward zero, with values no int holds pinned to its range.
int truncateToInt(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483520.0f) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int>::min();
    return int(value);
}

void setAxis(render::Vec3& v, int axis, float value) {
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = value;
}

}  // namespace

void posePart(MODEL_PART& part, const ANIME_TRACK& track, int frame) {
    int cur = -1;
    int scanned = 0;
    for (; scanned < kTrackKeys && track.keys[scanned].frame >= 0; ++scanned)
        if (track.keys[scanned].frame <= frame) cur = scanned;
    if (cur < 0) {
        part.meshSource = 0;
        return;
    }
    const ANIME_KEY& a = track.keys[cur];
    // The last key, or a next key that cannot be reached (equal frames):
    // the pose of this key.
    int span = cur + 1 < kTrackKeys ? track.keys[cur + 1].frame - a.frame : 0;
    if (cur + 1 >= kTrackKeys || track.keys[cur + 1].frame < 0 || span <= 0) {
        for (int k = 0; k < 3; ++k) setAxis(part.vectors[4], k, float(a.rotation[k]));
        part.translation = {a.translation[0], a.translation[1], a.translation[2]};
        part.meshSource = a.meshSource;
        return;
    }
    const ANIME_KEY& b = track.keys[cur + 1];
    int elapsed = frame - a.frame;
    for (int k = 0; k < 3; ++k) {
        int change = angleChange(a.rotation[k], b.rotation[k], b.direction[k]);
        int angle = truncateToInt(float(change) / float(span) * float(elapsed)) + a.rotation[k];
        if (angle < 0) angle += 360;
        if (angle > 359) angle -= 360;
        setAxis(part.vectors[4], k, float(angle));
    }
    float t[3];
    for (int k = 0; k < 3; ++k)
        t[k] = a.translation[k] + (b.translation[k] - a.translation[k]) / float(span) * float(elapsed);
    part.translation = {t[0], t[1], t[2]};
    part.meshSource = a.meshSource;
}

void CHARA::applyAnimation(float deltaFrames) {
    if (animeIndex < 0 || animeIndex >= kAnimations) return;
    const ANIME_DATA& anime = animations[animeIndex];
    float frameCount = float(anime.frameCount);
    animeFrame += deltaFrames;
    if (animeFrame > frameCount) animeFrame -= frameCount;
    int frame = truncateToInt(animeFrame);
    for (const ANIME_TRACK& track : anime.tracks) {
        if (!track.enabled || track.part < 0 || track.part >= kModelParts) continue;
        posePart(model.parts[track.part], track, frame);
    }
}

}  // namespace model
