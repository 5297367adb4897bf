#include <gtest/gtest.h>

#include "model/objects.h"
#include "model_files.h"

using namespace model;
using namespace model_test;

namespace {

ANIME_TRACK track(std::vector<ANIME_KEY> keys) {
    ANIME_TRACK t;
    resetAnimeTrack(t);
    for (size_t i = 0; i < keys.size(); ++i) t.keys[i] = keys[i];
    t.part = 0;
    t.enabled = 1;
    return t;
}

ANIME_KEY key(int16_t frame, int16_t rx, int8_t dx = 1, float tx = 0.0f, int16_t mesh = 0) {
    ANIME_KEY k;
    k.frame = frame;
    k.rotation[0] = rx;
    k.direction[0] = dx;
    k.translation[0] = tx;
    k.meshSource = mesh;
    return k;
}

float poseX(const ANIME_TRACK& t, int frame) {
    MODEL_PART p;
    posePart(p, t, frame);
    return p.vectors[4].x;
}

}  // namespace

TEST(PartPosing, BeforeTheFirstKeyOnlyTheMeshSourceChanges) {
    MODEL_PART p;
    p.vectors[4] = {7, 8, 9};
    p.meshSource = 4;
    posePart(p, track({key(5, 90)}), 3);
    EXPECT_EQ(p.meshSource, 0);
    EXPECT_EQ(p.vectors[4].x, 7.0f);
}

TEST(PartPosing, TurnsFollowTheDirectionFlags) {
    EXPECT_EQ(poseX(track({key(0, 350), key(10, 10, 1)}), 5), 0.0f);
    EXPECT_EQ(poseX(track({key(0, 350), key(10, 10, -1)}), 5), 180.0f);
    EXPECT_EQ(poseX(track({key(0, 10), key(10, 350, 1)}), 5), 180.0f);
    EXPECT_EQ(poseX(track({key(0, 10), key(10, 350, -1)}), 5), 0.0f);
    EXPECT_EQ(poseX(track({key(0, 0), key(3, 10, 1)}), 1), 3.0f);  // 3.33 truncated
    EXPECT_EQ(poseX(track({key(0, 0), key(4, 100, -1)}), 1), 295.0f);  // -260 / 4 = -65, wrapped
    EXPECT_EQ(poseX(track({key(0, 40), key(4, 40, -1)}), 2), 40.0f);
    EXPECT_EQ(poseX(track({key(0, 40), key(4, 80, 0)}), 2), 40.0f);  // no direction: no turn
}

TEST(PartPosing, TranslationInterpolatesAndTheLastKeyHolds) {
    ANIME_TRACK t = track({key(0, 0, 1, 1.0f, 3), key(4, 20, 1, 3.0f, 5)});
    MODEL_PART p;
    posePart(p, t, 1);
    EXPECT_EQ(p.translation.x, 1.5f);
    EXPECT_EQ(p.meshSource, 3);
    posePart(p, t, 9);
    EXPECT_EQ(p.translation.x, 3.0f);
    EXPECT_EQ(p.vectors[4].x, 20.0f);
    EXPECT_EQ(p.meshSource, 5);
    // All thirty slots used: the last one holds.
    std::vector<ANIME_KEY> keys;
    for (int i = 0; i < kTrackKeys; ++i) keys.push_back(key(int16_t(i * 2), int16_t(i)));
    EXPECT_EQ(poseX(track(keys), 100), 29.0f);
    EXPECT_EQ(poseX(track(keys), 57), 28.0f);
}

TEST(CharaAnimation, FrameAdvancesWrapsAndPosesEnabledTracks) {
    CHARA chara;
    ANIME_DATA& anime = chara.animations[2];
    anime.frameCount = 10;
    anime.tracks[0] = track({key(0, 0), key(10, 100)});
    anime.tracks[1] = track({key(0, 0), key(10, 100)});
    anime.tracks[1].part = 1;
    anime.tracks[1].enabled = 0;  // a part of kind 0
    chara.animeIndex = 2;
    chara.animeFrame = 12.5f;
    chara.applyAnimation(0.0f);
    EXPECT_EQ(chara.animeFrame, 2.5f);
    EXPECT_EQ(chara.model.parts[0].vectors[4].x, 20.0f);
    EXPECT_EQ(chara.model.parts[1].vectors[4].x, 0.0f);
    chara.applyAnimation(5.0f);
    EXPECT_EQ(chara.model.parts[0].vectors[4].x, 70.0f);
    // An index outside the slots poses nothing.
    chara.animeIndex = 30;
    chara.applyAnimation(1.0f);
    EXPECT_EQ(chara.animeFrame, 7.5f);
}
