// Sound effects through the wave player and the script functions, heard
// in the captured mix.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/sound_functions.h"
#include "sound/wave_player.h"
#include "tests/sound/sound_test_util.h"

using soundtest::AudioRig;

namespace {

constexpr int16_t kLevel = 8000;

// A game folder with wave\beep.wav (100 ms at 22050 Hz) and wave\long.wav
// (200 ms), a player on a captured mixer, and the script functions.
class WaveFixture : public ::testing::Test {
protected:
    WaveFixture() : rig(folder.path("mix.wav")) {
        folder.write("wave/beep.wav", soundtest::constantWave(22050, 2205, kLevel));
        folder.write("wave/long.wav", soundtest::constantWave(22050, 4410, kLevel));
        player.setWaveFolder(folder.path("wave") + "\\");
        EXPECT_TRUE(player.initialize(&rig.mixer));
    }

    static int64_t frame(uint32_t ms) { return AudioRig::frameAt(ms); }
    static int16_t at(const std::vector<int16_t>& s, int64_t f) { return s[size_t(f) * 2]; }

    // Where the mix holds `value` without a break, as [first, end) frames.
    static std::pair<int64_t, int64_t> span(const std::vector<int16_t>& s, int16_t value) {
        int64_t first = -1, end = -1;
        for (int64_t f = 0; f * 2 < int64_t(s.size()); ++f) {
            if (at(s, f) == value) {
                if (first < 0) first = f;
                end = f + 1;
            }
        }
        return {first, end};
    }

    soundtest::TempFolder folder;
    AudioRig rig;
    sound::WavePlayer player{false};
    sound::SoundFunctions functions{&player, nullptr};
};

}  // namespace

TEST_F(WaveFixture, PlayedWaveSoundsAtItsTimeForItsLength) {
    int handle = functions.loadWave("beep.wav");
    ASSERT_EQ(handle, 0);
    rig.advanceTo(200);
    functions.playWave(handle);
    rig.advanceTo(500);
    std::vector<int16_t> mix = rig.finish();
    auto [first, end] = span(mix, kLevel);
    EXPECT_EQ(first, frame(200));
    EXPECT_EQ(end, frame(200) + 4410);  // 100 ms at the output rate
    EXPECT_EQ(soundtest::peak(mix, 0, first), 0);
    EXPECT_EQ(soundtest::peak(mix, end, frame(500)), 0);
}

TEST_F(WaveFixture, HandlesOfOneFileShareTheDataAndPlayTogether) {
    int a = functions.loadWave("beep.wav");
    int b = functions.loadWave("beep.wav");
    ASSERT_EQ(a, 0);
    ASSERT_EQ(b, 1);
    EXPECT_EQ(functions.slotOfHandle(a), functions.slotOfHandle(b));
    EXPECT_EQ(functions.refCount(functions.slotOfHandle(a)), 2);
    rig.advanceTo(100);
    functions.playWave(a);
    functions.playWave(b);
    rig.advanceTo(300);
    functions.unloadWave(a);
    EXPECT_EQ(functions.refCount(functions.slotOfHandle(b)), 1);
    functions.playWave(b);
    functions.playWave(a);  // unloaded: nothing
    rig.advanceTo(500);
    std::vector<int16_t> mix = rig.finish();
    EXPECT_EQ(at(mix, frame(150)), 2 * kLevel);
    EXPECT_EQ(at(mix, frame(350)), kLevel);
}

TEST_F(WaveFixture, PlayingAPlayingHandleRestartsIt) {
    int handle = functions.loadWave("long.wav");
    rig.advanceTo(100);
    functions.playWave(handle);
    rig.advanceTo(150);
    functions.playWave(handle);
    rig.advanceTo(600);
    std::vector<int16_t> mix = rig.finish();
    auto [first, end] = span(mix, kLevel);
    EXPECT_EQ(first, frame(100));
    EXPECT_EQ(end, frame(150) + 8820);  // the whole 200 ms again from 150 ms
}

TEST_F(WaveFixture, StopWaveSilencesAndRewinds) {
    int handle = functions.loadWave("long.wav");
    rig.advanceTo(100);
    functions.playWave(handle);
    rig.advanceTo(150);
    functions.stopWave(handle);
    rig.advanceTo(200);
    // Resumed without a rewind of its own, the buffer starts from 0 again.
    rig.mixer.play(player.bufferOf(handle), false);
    rig.advanceTo(600);
    std::vector<int16_t> mix = rig.finish();
    EXPECT_EQ(soundtest::peak(mix, frame(150), frame(200)), 0);
    auto [first, end] = span(mix, kLevel);
    EXPECT_EQ(first, frame(100));
    EXPECT_EQ(end, frame(200) + 8820);
}

TEST_F(WaveFixture, HandlesOutsideTheTableAreIgnored) {
    int handle = functions.loadWave("beep.wav");
    for (int bad : {-1, 30, 1000, -30}) {
        functions.playWave(bad);
        functions.stopWave(bad);
        functions.unloadWave(bad);
    }
    EXPECT_EQ(functions.refCount(0), 1);
    functions.playWave(handle);
    rig.advanceTo(200);
    std::vector<int16_t> mix = rig.finish();
    EXPECT_EQ(at(mix, 10), kLevel);
}

TEST_F(WaveFixture, FileErrorsReturnMinusOneAndLeaveThePlayerWorking) {
    int good = functions.loadWave("beep.wav");
    folder.write("wave/bad.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});

    EXPECT_EQ(functions.loadWave("missing.wav"), -1);
    // "%sがロード出来ませんでした。" in code page 932.
    EXPECT_EQ(player.errorText(), "missing.wav\x82\xaa\x83\x8d\x81\x5b\x83\x68\x8f\x6f\x97\x88"
                                  "\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42");
    EXPECT_EQ(functions.loadWave("bad.wav"), -1);
    // "%sのファイル内容が不正です。"
    EXPECT_EQ(player.errorText(), "bad.wav\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xe0"
                                  "\x97\x65\x82\xaa\x95\x73\x90\xb3\x82\xc5\x82\xb7\x81\x42");
    EXPECT_FALSE(player.isFailed());
    EXPECT_EQ(functions.refCount(1), 0);

    functions.playWave(good);
    EXPECT_EQ(functions.loadWave("long.wav"), 1);  // the next free handle and slot
    EXPECT_EQ(functions.slotOfHandle(1), 1);
    rig.advanceTo(200);
    std::vector<int16_t> mix = rig.finish();
    EXPECT_EQ(at(mix, 10), kLevel);
}

// A legal file at 1 Hz, or one whose buffer would pass the mixer's bound,
// is content the player refuses; it neither allocates the conversion nor
// latches a failure.
TEST_F(WaveFixture, WavesBeyondTheBufferBoundAreInvalidContent) {
    folder.write("wave/slow.wav", soundtest::makeWave(1, 1, 8, std::vector<uint8_t>(1 << 20, 128)));
    const size_t tooMany = size_t(platform::kMaxBufferFrames / 441) + 1000;  // 100 Hz to 44.1 kHz
    folder.write("wave/endless.wav", soundtest::makeWave(1, 100, 8, std::vector<uint8_t>(tooMany, 128)));
    for (const char* name : {"slow.wav", "endless.wav"}) {
        EXPECT_EQ(functions.loadWave(name), -1) << name;
        EXPECT_EQ(player.errorText(), std::string(name) + "\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xe0"
                                                          "\x97\x65\x82\xaa\x95\x73\x90\xb3\x82\xc5\x82\xb7\x81\x42");
    }
    EXPECT_FALSE(player.isFailed());
    EXPECT_EQ(functions.loadWave("beep.wav"), 0);
}

TEST_F(WaveFixture, FullTablesRefuseWithoutLatching) {
    for (int i = 0; i < sound::kWaveHandles; ++i) ASSERT_EQ(functions.loadWave("beep.wav"), i);
    EXPECT_EQ(functions.loadWave("beep.wav"), -1);
    EXPECT_EQ(functions.refCount(0), 30);
    for (int i = 0; i < sound::kWaveHandles; ++i) functions.unloadWave(i);
    EXPECT_EQ(functions.refCount(0), 0);

    for (int i = 0; i < sound::kWaveSlots; ++i) {
        char name[16];
        snprintf(name, sizeof name, "w%d.wav", i);
        folder.write(std::string("wave/") + name, soundtest::constantWave(22050, 10, 1));
        ASSERT_EQ(functions.loadWave(name), i);
    }
    folder.write("wave/extra.wav", soundtest::constantWave(22050, 10, 1));
    EXPECT_EQ(functions.loadWave("extra.wav"), -1);
    EXPECT_FALSE(player.isFailed());
    functions.unloadWave(7);  // frees slot 7
    EXPECT_EQ(functions.loadWave("extra.wav"), 7);
    EXPECT_EQ(functions.slotOfHandle(7), 7);
}

TEST(WavePlayerDevice, WithoutInitializeLoadsSucceedSilently) {
    soundtest::TempFolder folder;
    AudioRig rig(folder.path("mix.wav"));
    sound::WavePlayer player(false);
    sound::SoundFunctions functions(&player, nullptr);
    EXPECT_EQ(functions.loadWave("anything.wav"), 0);
    functions.playWave(0);
    functions.stopWave(0);
    rig.advanceTo(100);
    EXPECT_EQ(soundtest::peak(rig.finish(), 0, 4410), 0);
}

TEST(WavePlayerDevice, NoDeviceLatchesFailed) {
    soundtest::TempFolder folder;
    folder.write("wave/beep.wav", soundtest::constantWave(22050, 100, 1));
    sound::WavePlayer player(true, folder.path("report_ds.txt"));
    player.setWaveFolder(folder.path("wave") + "/");
    EXPECT_FALSE(player.initialize(nullptr));
    EXPECT_TRUE(player.isFailed());
    sound::SoundFunctions functions(&player, nullptr);
    EXPECT_EQ(functions.loadWave("beep.wav"), -1);
    std::vector<uint8_t> report = folder.read("report_ds.txt");
    // ... ">初期化開始...\r\n" then " !Create失敗\r\n".
    const char tail[] = ">\x8f\x89\x8a\xfa\x89\xbb\x8a\x4a\x8e\x6e...\r\n !Create\x8e\xb8\x94\x73\r\n";
    ASSERT_GE(report.size(), sizeof tail - 1);
    EXPECT_EQ(std::string(report.end() - long(sizeof tail - 1), report.end()), tail);
}

TEST(WavePlayerReport, NormalRunWritesShiftJisLines) {
    soundtest::TempFolder folder;
    {
        AudioRig rig(folder.path("mix.wav"));
        sound::WavePlayer player(true, folder.path("report_ds.txt"));
        ASSERT_TRUE(player.initialize(&rig.mixer));
        EXPECT_TRUE(rig.mixer.isPrimaryPlaying());
    }
    std::vector<uint8_t> report = folder.read("report_ds.txt");
    const char expected[] =
        "<DirectSound\x93\xae\x8d\xec\x83\x8c\x83\x7c\x81\x5b\x83\x67>\r\n"
        ">\x8f\x89\x8a\xfa\x89\xbb\x8a\x4a\x8e\x6e...\r\n"
        ">\x8f\x89\x8a\xfa\x89\xbb\x8a\xae\x97\xb9\r\n"
        ">DirectSound\x82\xf0\x94\x6a\x8a\xfc\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n";
    EXPECT_EQ(std::string(report.begin(), report.end()), expected);
}
