// MIDI music: file checks, and the synthesiser heard in the captured mix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "platform/files.h"
#include "sound/midi_file.h"
#include "sound/midi_player.h"
#include "sound/sound_functions.h"
#include "tests/sound/sound_test_util.h"

using soundtest::AudioRig;
using soundtest::MidiEvent;

namespace {

bool checkMidi(const std::vector<uint8_t>& bytes, sound::MidiFileInfo* info = nullptr) {
    sound::MidiFileInfo result;
    bool ok = sound::readMidiInfo(bytes.data(), bytes.size(), result);
    if (ok && info) *info = result;
    return ok;
}

const std::vector<MidiEvent> kEnd = {{0, {0xFF, 0x2F, 0x00}}};

}  // namespace

TEST(MidiFileCheck, MeasuresTheLongestTrack) {
    sound::MidiFileInfo info;
    ASSERT_TRUE(checkMidi(soundtest::heldNoteMidi(96, 0, 60, 2, 3), &info));
    EXPECT_EQ(info.format, 0);
    EXPECT_EQ(info.division, 96);
    EXPECT_EQ(info.lengthTicks, 5 * 96);

    // Format 1, running status, sysex, meta text, an unknown chunk between
    // tracks.
    std::vector<uint8_t> file = soundtest::makeMidi(
        1, 480,
        {{{0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, {1000, {0xFF, 0x2F, 0x00}}},
         {{0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}},
          {0, {0xFF, 0x01, 0x02, 'h', 'i'}},
          {10, {0x90, 60, 100}},
          {10, {62, 100}},
          {2000, {0xE0, 0x00, 0x40}},
          {0, {0xFF, 0x2F, 0x00}}}});
    std::vector<uint8_t> alien = {'X', 'T', 'R', 'A', 0, 0, 0, 2, 1, 2};
    file.insert(file.begin() + 14, alien.begin(), alien.end());
    ASSERT_TRUE(checkMidi(file, &info));
    EXPECT_EQ(info.tracks, 2);
    EXPECT_EQ(info.lengthTicks, 2020);

    EXPECT_EQ(sound::musicToFileTicks(768, 96), 96);
    EXPECT_EQ(sound::musicToFileTicks(1536 + 384, 480), 1200);
}

TEST(MidiFileCheck, RefusesJunk) {
    const std::vector<uint8_t> good = soundtest::heldNoteMidi(96, 0, 60, 0, 1);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(checkMidi(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)))) << cut;
    EXPECT_FALSE(checkMidi({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 0, 0, 0, 0}));
    std::vector<uint8_t> noise(4000);
    uint32_t x = 12345;
    for (uint8_t& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 16);
    EXPECT_FALSE(checkMidi(noise));
    noise[0] = 'M', noise[1] = 'T', noise[2] = 'h', noise[3] = 'd';
    EXPECT_FALSE(checkMidi(noise));

    EXPECT_FALSE(checkMidi(soundtest::makeMidi(2, 96, {kEnd})));           // format 2
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(0, 0xE728, {kEnd})));       // SMPTE division
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(0, 0, {kEnd})));
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(0, 96, {kEnd, kEnd})));     // format 0, two tracks
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(1, 96, {{{0, {60, 100}}}})));  // no running status
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(1, 96, {{{0, {0xF8}}}})));     // real-time byte
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(1, 96, {{{0, {0x90, 60}}}})));  // short event
    EXPECT_FALSE(checkMidi(soundtest::makeMidi(1, 96, {{{0, {0xFF, 0x01, 0x7F, 'x'}}}})));
    std::vector<uint8_t> longDelta = soundtest::makeMidi(1, 96, {kEnd});
    longDelta.insert(longDelta.begin() + 22, {0x81, 0x81, 0x81, 0x81});
    longDelta[21] += 4;
    EXPECT_FALSE(checkMidi(longDelta));
    std::vector<uint8_t> hugeTrack = soundtest::makeMidi(1, 96, {kEnd});
    hugeTrack[18] = 0xFF;
    EXPECT_FALSE(checkMidi(hugeTrack));
    std::vector<uint8_t> missingTrack = soundtest::makeMidi(1, 96, {kEnd});
    missingTrack[11] = 2;
    EXPECT_FALSE(checkMidi(missingTrack));
}

TEST(MidiFileCheck, SurvivesCorruptedFiles) {
    std::vector<uint8_t> good = soundtest::makeMidi(
        1, 96, {{{0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, {0, {0xFF, 0x2F, 0x00}}},
                {{0, {0xC0, 5}}, {0, {0x90, 60, 100}}, {96, {62, 100}}, {0, {0xF0, 0x01, 0xF7}},
                 {96, {0x80, 60, 0}}, {0, {0xFF, 0x2F, 0x00}}}});
    uint32_t x = 77;
    auto next = [&x] { return x = x * 1664525 + 1013904223; };
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bad = good;
        for (int flips = 1 + int(next() % 4); flips > 0; --flips)
            bad[next() % bad.size()] = uint8_t(next() >> 24);
        bad.resize(bad.size() - next() % 6);
        sound::MidiFileInfo info;
        if (sound::readMidiInfo(bad.data(), bad.size(), info)) {
            ASSERT_GT(info.division, 0);
            ASSERT_GE(info.lengthTicks, 0);
        }
    }
}

namespace {

// A game folder with midi\, a captured mixer, a MIDI player on the
// standard SoundFont, and the script functions. Skips when no SoundFont
// is installed.
class MidiFixture : public ::testing::Test {
protected:
    MidiFixture() : rig(folder.path("mix.wav")) {}

    void SetUp() override {
        if (!platform::fileExists("/usr/share/sounds/sf2/TimGM6mb.sf2") &&
            !platform::fileExists("/usr/share/sounds/sf2/default-GM.sf2"))
            GTEST_SKIP() << "no GM SoundFont installed";
        folder.write("midi/keep", {});
        ASSERT_TRUE(player.create(&rig.mixer, folder.path("midi"))) << player.errorText();
    }

    static int64_t frame(uint32_t ms) { return AudioRig::frameAt(ms); }
    // Level of the mix over [from, to) milliseconds.
    static double level(const std::vector<int16_t>& mix, uint32_t from, uint32_t to) {
        return soundtest::rms(mix, frame(from), frame(to));
    }
    // Runs the logic ticks of the frame (updateFade every 50 ms) up to `ms`.
    void tickTo(uint32_t ms) {
        while (rig.elapsed() < ms) {
            rig.advanceTo(rig.elapsed() + 50);
            player.updateFade();
        }
    }

    soundtest::TempFolder folder;
    AudioRig rig;
    sound::MidiPlayer player{true, folder.path("report_dm.txt")};
    sound::SoundFunctions functions{nullptr, &player};
};

// An organ (steady level) holding a note: the first `silentQuarters`
// quarter notes are silent, 120 bpm (a quarter is 500 ms).
std::vector<uint8_t> organ(double silentQuarters, double quarters) {
    return soundtest::heldNoteMidi(96, 19, 60, silentQuarters, quarters);
}

}  // namespace

TEST_F(MidiFixture, PlayingTheSameNameRestartsFromTheNewPointWithoutReloading) {
    folder.write("midi/song.mid", organ(2, 20));
    ASSERT_TRUE(functions.loadMidi("song.mid"));
    functions.playMidi(0);
    tickTo(500);
    std::remove(folder.path("midi/song.mid").c_str());
    functions.playMidi(2 * sound::kMusicTicksPerQuarter);  // where the note begins
    EXPECT_EQ(player.currentFile(), "song.mid");
    tickTo(1000);
    std::vector<int16_t> mix = rig.finish();
    EXPECT_LT(level(mix, 0, 500), 1.0);
    // From 0 the music would still be silent here.
    EXPECT_GT(level(mix, 600, 950), 500.0);
    std::vector<uint8_t> report = folder.read("report_dm.txt");
    std::string loaded = ">song.mid\x82\xf0\x83\x8d\x81\x5b\x83\x68\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n";
    std::string text(report.begin(), report.end());
    EXPECT_EQ(text.find(loaded), text.rfind(loaded));
    EXPECT_NE(text.find(loaded), std::string::npos);
}

TEST_F(MidiFixture, FadeFallsOverItsDurationThenStopsAndPlayRestoresFullLevel) {
    folder.write("midi/song.mid", organ(0, 40));
    ASSERT_TRUE(functions.loadMidi("song.mid"));
    functions.playMidi(0);
    EXPECT_EQ(player.masterVolume(), 100);
    tickTo(1000);
    functions.setMidiValume(2000);
    tickTo(1500);
    functions.setMidiValume(100);  // ignored while fading
    tickTo(2000);
    EXPECT_EQ(player.masterVolume(), -200);  // half way from +100 to -500
    EXPECT_EQ(player.state(), sound::MidiState::Fading);
    tickTo(2950);
    EXPECT_EQ(player.state(), sound::MidiState::Fading);
    tickTo(3000);
    EXPECT_EQ(player.state(), sound::MidiState::Stopped);
    tickTo(3500);
    functions.playMidi(0);
    EXPECT_EQ(player.masterVolume(), 100);
    tickTo(4000);
    std::vector<int16_t> mix = rig.finish();

    double full = level(mix, 500, 1000);
    ASSERT_GT(full, 500.0);
    double quarter = level(mix, 1400, 1600), half = level(mix, 1900, 2100),
           threeQuarters = level(mix, 2400, 2600), end = level(mix, 2800, 2950);
    EXPECT_GT(full, quarter);
    EXPECT_GT(quarter, half);
    EXPECT_GT(half, threeQuarters);
    EXPECT_GT(threeQuarters, end);
    // -6 dB in all by the end of the fade.
    EXPECT_NEAR(end / full, 0.5, 0.1);
    EXPECT_NEAR(half / full, 0.708, 0.1);
    EXPECT_LT(level(mix, 3300, 3500), full * 0.05);
    EXPECT_NEAR(level(mix, 3520, 3700) / full, 1.0, 0.15);
}

TEST_F(MidiFixture, MusicLoopsFromItsStartPointToItsEnd) {
    // A silent quarter note, then a note to the end of the second one.
    folder.write("midi/loop.mid", organ(1, 1));
    ASSERT_TRUE(functions.loadMidi("loop.mid"));
    functions.playMidi(sound::kMusicTicksPerQuarter);
    tickTo(2500);
    std::vector<int16_t> mix = rig.finish();
    double first = level(mix, 100, 400);
    ASSERT_GT(first, 500.0);
    // A loop back to 0 would leave 500 ms gaps; no loop, silence.
    for (uint32_t t = 500; t < 2500; t += 250)
        EXPECT_GT(level(mix, t, t + 250), first * 0.3) << t;
}

TEST_F(MidiFixture, MusicFromTheBeginningLoopsWithItsFirstNotes) {
    // A note for the first quarter, a silent second quarter: 1 s a round.
    folder.write("midi/loop.mid", soundtest::makeMidi(0, 96, {{{0, {0xC0, 19}},
                                                               {0, {0x90, 60, 110}},
                                                               {96, {0x80, 60, 0}},
                                                               {96, {0xFF, 0x2F, 0x00}}}}));
    ASSERT_TRUE(functions.loadMidi("loop.mid"));
    functions.playMidi(0);
    tickTo(3000);
    std::vector<int16_t> mix = rig.finish();
    double first = level(mix, 50, 450);
    ASSERT_GT(first, 500.0);
    for (uint32_t round = 1000; round < 3000; round += 1000) {
        EXPECT_LT(level(mix, round - 200, round), first * 0.1) << round;
        EXPECT_GT(level(mix, round + 50, round + 450), first * 0.8) << round;
    }
}

TEST_F(MidiFixture, StopSilencesAndPlayAfterUnloadLoadsAgain) {
    folder.write("midi/song.mid", organ(0, 40));
    ASSERT_TRUE(functions.loadMidi("song.mid"));
    functions.playMidi(0);
    tickTo(500);
    functions.stopMidi();
    EXPECT_EQ(player.state(), sound::MidiState::Stopped);
    tickTo(1000);
    functions.unloadMidi();
    EXPECT_EQ(player.currentFile(), "");
    functions.playMidi(0);
    EXPECT_EQ(player.currentFile(), "song.mid");
    tickTo(1500);
    std::vector<int16_t> mix = rig.finish();
    double playing = level(mix, 200, 500);
    EXPECT_GT(playing, 500.0);
    EXPECT_LT(level(mix, 800, 1000), playing * 0.05);
    EXPECT_GT(level(mix, 1200, 1500), playing * 0.7);
}

TEST_F(MidiFixture, BadFilesFailWithTheLoaderCode) {
    folder.write("midi/song.mid", organ(0, 40));
    folder.write("midi/junk.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'x'});
    ASSERT_TRUE(functions.loadMidi("song.mid"));
    EXPECT_FALSE(functions.loadMidi("none.mid"));
    // "ファイル[none.mid]が読み込めませんでした。"
    const std::string cannotRead = "\x82\xaa\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1"
                                   "\x82\xc5\x82\xb5\x82\xbd\x81\x42";
    const std::string file = "\x83\x74\x83\x40\x83\x43\x83\x8b";
    EXPECT_EQ(player.errorText(),
              file + "[none.mid]" + cannotRead + "\r\n[DMUS_E_LOADER_FAILEDOPEN]");
    EXPECT_EQ(functions.lastMidiName(), "");
    EXPECT_EQ(player.currentFile(), "");  // the old music went first
    EXPECT_FALSE(functions.loadMidi("junk.mid"));
    EXPECT_EQ(player.errorText(),
              file + "[junk.mid]" + cannotRead + "\r\n[DMUS_E_LOADER_FORMATNOTSUPPORTED]");
    functions.playMidi(0);  // no name remembered: nothing
    EXPECT_EQ(player.currentFile(), "");
    tickTo(500);
    EXPECT_EQ(soundtest::peak(rig.finish(), 0, frame(500)), 0);
}

TEST_F(MidiFixture, ReportOfANormalRun) {
    folder.write("midi/song.mid", organ(0, 1));
    {
        sound::MidiPlayer second(true, folder.path("second.txt"));
        ASSERT_TRUE(second.create(&rig.mixer, folder.path("midi")));
        ASSERT_TRUE(second.loadMidiFile("song.mid"));
    }
    std::vector<uint8_t> report = folder.read("second.txt");
    const char expected[] =
        "<DirectMusic\x93\xae\x8d\xec\x83\x8c\x83\x7c\x81\x5b\x83\x67>\r\n"
        ">DirectMusic\x82\xf0\x90\xb6\x90\xac\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n"
        ">song.mid\x82\xf0\x83\x8d\x81\x5b\x83\x68\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n"
        ">DirectMusic\x82\xf0\x94\x6a\x8a\xfc\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n";
    EXPECT_EQ(std::string(report.begin(), report.end()), expected);
}

TEST(MidiPlayerCreate, WithoutASoundFontTheMusicIsOff) {
    soundtest::TempFolder folder;
    AudioRig rig(folder.path("mix.wav"));
    folder.write("midi/song.mid", organ(0, 4));
    folder.write("bad.sf2", {'R', 'I', 'F', 'F', 0, 0, 0, 0});
    // Neither a broken file nor one of another RIFF form makes the
    // synthesiser's own loaders complain on stderr.
    folder.write("other.sf2", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'D', 'L', 'S', ' '});
    testing::internal::CaptureStderr();
    sound::MidiPlayer other(false);
    EXPECT_FALSE(other.create(&rig.mixer, folder.path("midi"), folder.path("other.sf2")));
    sound::MidiPlayer player(true, folder.path("report_dm.txt"));
    EXPECT_FALSE(player.create(&rig.mixer, folder.path("midi"), folder.path("bad.sf2")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(player.isAvailable());
    // "SoundFont[...]が読み込めませんでした。"
    EXPECT_EQ(player.errorText(), "SoundFont[" + folder.path("bad.sf2") + "]" +
                                      "\x82\xaa\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9"
                                      "\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42");
    sound::SoundFunctions functions(nullptr, &player);
    EXPECT_FALSE(functions.loadMidi("song.mid"));
    functions.playMidi(0);
    functions.setMidiValume(10);
    player.updateFade();
    EXPECT_EQ(player.state(), sound::MidiState::Stopped);
    std::vector<uint8_t> report = folder.read("report_dm.txt");
    std::string text(report.begin(), report.end());
    EXPECT_NE(text.find(">!" + player.errorText() + "\r\n"), std::string::npos);

    sound::MidiPlayer noMixer(false);
    EXPECT_FALSE(noMixer.create(nullptr, folder.path("midi")));
    // "Parformanceの初期化に失敗"
    EXPECT_EQ(noMixer.errorText(), "Parformance\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73");
}

// The SoundFont loading while the game starts: the music sounds exactly
// as after a load inside create(), and a file whose header passes but
// whose body is broken turns the music off at the first use, with the
// text create() would have given.
TEST(MidiPlayerCreate, SoundFontLoadedInTheBackground) {
    if (!platform::fileExists("/usr/share/sounds/sf2/TimGM6mb.sf2") &&
        !platform::fileExists("/usr/share/sounds/sf2/default-GM.sf2"))
        GTEST_SKIP() << "no GM SoundFont installed";
    soundtest::TempFolder folder;
    folder.write("midi/song.mid", organ(0, 4));
    std::vector<int16_t> mixes[2];
    for (int background = 0; background < 2; ++background) {
        AudioRig rig(folder.path(background ? "background.wav" : "direct.wav"));
        sound::MidiPlayer player(false);
        ASSERT_TRUE(player.create(&rig.mixer, folder.path("midi"), "", background == 1)) << player.errorText();
        sound::SoundFunctions functions(nullptr, &player);
        ASSERT_TRUE(functions.loadMidi("song.mid"));
        functions.playMidi(0);
        rig.advanceTo(800);
        mixes[background] = rig.finish();
    }
    EXPECT_GT(soundtest::rms(mixes[1], AudioRig::frameAt(100), AudioRig::frameAt(700)), 500.0);
    EXPECT_EQ(mixes[0], mixes[1]);

    std::vector<uint8_t> broken = {'R', 'I', 'F', 'F', 200, 0, 0, 0, 's', 'f', 'b', 'k'};
    broken.resize(60, 0x5A);
    folder.write("broken.sf2", broken);
    AudioRig rig(folder.path("broken.wav"));
    sound::MidiPlayer player(false);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(player.create(&rig.mixer, folder.path("midi"), folder.path("broken.sf2"), true));
    sound::SoundFunctions functions(nullptr, &player);
    EXPECT_FALSE(functions.loadMidi("song.mid"));
    testing::internal::GetCapturedStderr();  // the synthesiser's complaints, as for a direct load
    EXPECT_FALSE(player.isAvailable());
    EXPECT_EQ(player.errorText(), "SoundFont[" + folder.path("broken.sf2") + "]" +
                                      "\x82\xaa\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9"
                                      "\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42");
    // A header that is not a SoundFont's still fails at once.
    sound::MidiPlayer other(false);
    EXPECT_FALSE(other.create(&rig.mixer, folder.path("midi"), folder.path("song.mid"), true));
}
