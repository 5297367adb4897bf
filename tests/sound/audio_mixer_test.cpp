// The mixer, its conversion, the clock-driven output and the capture.
#include <gtest/gtest.h>

#include <thread>

#include "tests/sound/sound_test_util.h"

using platform::AudioMixer;
using platform::PcmFormat;
using soundtest::AudioRig;

namespace {

std::vector<int16_t> render(AudioMixer& mixer, int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    mixer.render(out.data(), frames);
    return out;
}

class ConstantSource final : public platform::AudioSource {
public:
    explicit ConstantSource(int32_t v) : value(v) {}
    void mixAudio(int32_t* accumulator, int frames) override {
        for (int i = 0; i < frames * 2; ++i) accumulator[i] += value;
    }
    int32_t value;
};

}  // namespace

TEST(PcmConversion, KeepsDurationAcrossRatesAndLayouts) {
    std::vector<int16_t> out;
    uint8_t mono8[100];
    memset(mono8, 128 + 64, sizeof mono8);  // 8-bit unsigned: +64 steps
    platform::convertPcm({1, 22050, 8}, mono8, 100, 44100, out);
    ASSERT_EQ(out.size(), 400u);
    for (int16_t s : out) EXPECT_EQ(s, 64 * 256);

    int16_t stereo[2 * 30];
    for (int i = 0; i < 30; ++i) {
        stereo[i * 2] = 1000;
        stereo[i * 2 + 1] = -2000;
    }
    platform::convertPcm({2, 11025, 16}, stereo, 30, 44100, out);
    ASSERT_EQ(out.size(), 30u * 4 * 2);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], -2000);
    EXPECT_EQ(out[out.size() - 2], 1000);
    EXPECT_EQ(out.back(), -2000);

    // 48000 -> 44100: 480 frames last 10 ms = 441 frames.
    std::vector<int16_t> flat(480, 5);
    platform::convertPcm({1, 48000, 16}, flat.data(), flat.size(), 44100, out);
    EXPECT_EQ(out.size(), 441u * 2);
}

TEST(PcmConversion, InterpolatesBetweenSourceFrames) {
    int16_t ramp[3] = {0, 1000, 2000};
    std::vector<int16_t> out;
    platform::convertPcm({1, 11025, 16}, ramp, 3, 44100, out);
    ASSERT_EQ(out.size(), 24u);
    const int16_t expected[12] = {0, 250, 500, 750, 1000, 1250, 1500, 1750, 2000, 2000, 2000, 2000};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(out[size_t(i) * 2], expected[i]) << i;
}

TEST(MixerBuffers, PlayOnceStopsAtTheEndAndRewinds) {
    AudioMixer mixer;
    int16_t data[4] = {100, 100, 100, 100};
    int id = mixer.createBuffer({1, 44100, 16}, data, sizeof data);
    ASSERT_GE(id, 0);
    EXPECT_FALSE(mixer.isPlaying(id));
    EXPECT_EQ(render(mixer, 2)[0], 0);  // made stopped
    mixer.play(id, false);
    std::vector<int16_t> out = render(mixer, 6);
    EXPECT_EQ(out, std::vector<int16_t>({100, 100, 100, 100, 100, 100, 100, 100, 0, 0, 0, 0}));
    EXPECT_FALSE(mixer.isPlaying(id));
    mixer.play(id, false);
    EXPECT_EQ(render(mixer, 5)[6], 100);  // played again from the start
}

TEST(MixerBuffers, LoopStopAndRewind) {
    AudioMixer mixer;
    int16_t data[3] = {1, 2, 3};
    int id = mixer.createBuffer({1, 44100, 16}, data, sizeof data);
    mixer.play(id, true);
    std::vector<int16_t> out = render(mixer, 7);
    const int16_t looped[7] = {1, 2, 3, 1, 2, 3, 1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(out[size_t(i) * 2], looped[i]);
    mixer.stop(id);
    EXPECT_EQ(render(mixer, 1)[0], 0);
    mixer.play(id, false);
    EXPECT_EQ(render(mixer, 1)[0], 2);  // a stop keeps the position
    mixer.stop(id);
    mixer.setCurrentPosition(id, 2);    // bytes: frame 1
    mixer.play(id, false);
    EXPECT_EQ(render(mixer, 1)[0], 2);
}

TEST(MixerBuffers, RefusesBadFormatsAndAFullTable) {
    AudioMixer mixer;
    int16_t data[2] = {0, 0};
    EXPECT_EQ(mixer.createBuffer({3, 44100, 16}, data, sizeof data), -1);
    EXPECT_EQ(mixer.createBuffer({1, 44100, 24}, data, sizeof data), -1);
    EXPECT_EQ(mixer.createBuffer({1, 0, 16}, data, sizeof data), -1);
    EXPECT_EQ(mixer.createBuffer({2, 44100, 16}, data, 3), -1);  // no whole frame
    EXPECT_EQ(mixer.createBuffer({1, platform::kMinSourceRate - 1, 16}, data, sizeof data), -1);
    EXPECT_EQ(mixer.createBuffer({1, platform::kMaxSourceRate + 1, 16}, data, sizeof data), -1);
    for (int i = 0; i < platform::kMixerBuffers; ++i)
        ASSERT_EQ(mixer.createBuffer({1, 44100, 16}, data, sizeof data), i);
    EXPECT_EQ(mixer.createBuffer({1, 44100, 16}, data, sizeof data), -1);
    mixer.releaseBuffer(5);
    EXPECT_FALSE(mixer.play(5, false));
    EXPECT_EQ(mixer.createBuffer({1, 44100, 16}, data, sizeof data), 5);
    EXPECT_FALSE(mixer.play(-1, false));
    EXPECT_FALSE(mixer.stop(platform::kMixerBuffers));
}

// A few bytes at a low rate would convert to gigabytes: the bound is
// checked before anything is allocated, and a buffer just inside it is made.
TEST(MixerBuffers, ConvertedSizeIsBounded) {
    AudioMixer mixer;
    const platform::PcmFormat slow{1, platform::kMinSourceRate, 8};
    const uint64_t ratio = uint64_t(platform::kOutputRate / platform::kMinSourceRate);
    const size_t fitting = size_t(platform::kMaxBufferFrames / ratio);
    std::vector<uint8_t> bytes(fitting + 1000, 128);
    EXPECT_EQ(mixer.createBuffer(slow, bytes.data(), bytes.size()), -1);
    int id = mixer.createBuffer(slow, bytes.data(), fitting);
    ASSERT_GE(id, 0);
    EXPECT_LE(uint64_t(mixer.lengthFrames(id)), platform::kMaxBufferFrames);
    EXPECT_EQ(platform::convertedFrames(slow, uint64_t(1) << 62, platform::kOutputRate), UINT64_MAX);
}

TEST(MixerBuffers, SumsBuffersAndSourcesAndClips) {
    AudioMixer mixer;
    int16_t loud[2] = {30000, 30000};
    int a = mixer.createBuffer({1, 44100, 16}, loud, sizeof loud);
    int b = mixer.createBuffer({1, 44100, 16}, loud, sizeof loud);
    ConstantSource source(-100);
    ASSERT_TRUE(mixer.addSource(&source));
    EXPECT_EQ(render(mixer, 1)[0], -100);
    mixer.play(a, false);
    mixer.play(b, false);
    EXPECT_EQ(render(mixer, 1)[0], 32767);
    mixer.removeSource(&source);
    EXPECT_EQ(render(mixer, 1)[0], 32767);
    EXPECT_EQ(render(mixer, 1)[0], 0);
}

TEST(ClockDrivenOutput, CapturesExactlyTheFramesOfVirtualTime) {
    soundtest::TempFolder folder;
    AudioRig rig(folder.path("out.wav"));
    int16_t tone[441];
    for (int16_t& s : tone) s = 5000;
    int id = rig.mixer.createBuffer({1, 44100, 16}, tone, sizeof tone);
    rig.advanceTo(253);  // between the output's 10 ms steps
    rig.mixer.play(id, false);
    rig.advanceTo(1000);
    std::vector<int16_t> samples = rig.finish();
    ASSERT_EQ(samples.size(), 44100u * 2);
    int64_t start = AudioRig::frameAt(253);
    EXPECT_EQ(samples[size_t(start - 1) * 2], 0);
    EXPECT_EQ(samples[size_t(start) * 2], 5000);
    EXPECT_EQ(samples[size_t(start + 440) * 2 + 1], 5000);
    EXPECT_EQ(samples[size_t(start + 441) * 2], 0);
}

TEST(ClockDrivenOutput, RepeatsSampleForSample) {
    soundtest::TempFolder folder;
    std::vector<int16_t> runs[2];
    for (auto& run : runs) {
        AudioRig rig(folder.path("run.wav"));
        int16_t ramp[300];
        for (int i = 0; i < 300; ++i) ramp[i] = int16_t(i * 50);
        int id = rig.mixer.createBuffer({1, 22050, 16}, ramp, sizeof ramp);
        for (uint32_t t = 7; t < 400; t += 37) {
            rig.advanceTo(t);
            rig.mixer.stop(id);
            rig.mixer.setCurrentPosition(id, 0);
            rig.mixer.play(id, false);
        }
        rig.advanceTo(500);
        run = rig.finish();
    }
    ASSERT_FALSE(runs[0].empty());
    EXPECT_EQ(runs[0], runs[1]);
}

TEST(ClockDrivenOutput, OnTheRealClockRendersOnItsOwnThread) {
    AudioMixer mixer;
    int16_t tone[64];
    for (int16_t& s : tone) s = 1;
    int id = mixer.createBuffer({1, 44100, 16}, tone, sizeof tone);
    platform::RealClock clock;
    uint32_t start = clock.now();
    {
        platform::NullAudioOutput output(mixer, clock);
        for (int i = 0; i < 20; ++i) {
            mixer.play(id, true);  // changes race the output thread
            mixer.stop(id);
        }
        clock.sleep(30);
    }
    // Never more than the time it lived stands for; at its end it renders
    // what was still due.
    int64_t lived = clock.now() - start;
    EXPECT_LE(mixer.renderedFrames(), lived * 44100 / 1000);
    EXPECT_GE(mixer.renderedFrames(), 30 * 44100 / 1000);
}

TEST(ClockDrivenOutput, ChangesWhileAnotherThreadMovesTheVirtualClock) {
    // Another thread sleeping on the virtual clock runs the output's
    // periodic render while this one changes the mixer.
    platform::VirtualClock clock;
    AudioMixer mixer;
    int16_t tone[64] = {};
    int id = mixer.createBuffer({1, 44100, 16}, tone, sizeof tone);
    {
        platform::NullAudioOutput output(mixer, clock);
        std::thread sleeper([&clock] {
            for (int i = 0; i < 2000; ++i) clock.sleep(1);
        });
        for (int i = 0; i < 2000; ++i) {
            mixer.play(id, true);
            mixer.stop(id);
        }
        sleeper.join();
    }
    EXPECT_EQ(mixer.renderedFrames(), 2000 * 44100 / 1000);
}
