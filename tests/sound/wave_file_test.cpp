// Reading RIFF/WAVE chunks from memory.
#include <gtest/gtest.h>

#include "sound/wave_file.h"
#include "tests/sound/sound_test_util.h"

using soundtest::chunk;
using soundtest::fmtBody;
using soundtest::riff;

namespace {

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool read(const std::vector<uint8_t>& bytes, sound::WaveFormat* format = nullptr,
          uint32_t* size = nullptr, size_t* offset = nullptr) {
    sound::WaveFormat f;
    const uint8_t* data = nullptr;
    uint32_t s = 0;
    bool ok = sound::readWave(bytes.data(), bytes.size(), f, data, s);
    if (ok && format) *format = f;
    if (ok && size) *size = s;
    if (ok && offset) *offset = size_t(data - bytes.data());
    return ok;
}

const std::vector<uint8_t> kSamples = {1, 2, 3, 4, 5, 6};

}  // namespace

TEST(WaveChunks, ReadsFormatAndData) {
    sound::WaveFormat f;
    uint32_t size = 0;
    size_t offset = 0;
    std::vector<uint8_t> file = soundtest::makeWave(2, 11025, 8, kSamples);
    ASSERT_TRUE(read(file, &f, &size, &offset));
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 11025u);
    EXPECT_EQ(f.bitsPerSample, 8);
    EXPECT_EQ(f.extraSize, 0);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(file[offset], 1);

    // An 18-byte chunk (with its extra-size field) fits the slot.
    ASSERT_TRUE(read(riff(join({chunk("fmt ", fmtBody(1, 8000, 16, 0)), chunk("data", kSamples)})),
                     &f));
    EXPECT_EQ(f.samplesPerSec, 8000u);
}

TEST(WaveChunks, SearchesPastOtherChunksWithPadding) {
    std::vector<uint8_t> odd = {9, 9, 9};  // padded to four bytes
    std::vector<uint8_t> file = join({chunk("JUNK", odd),
                                      riff(join({chunk("LIST", odd), chunk("fmt ", fmtBody(1, 22050, 16)),
                                                 chunk("fact", odd), chunk("data", kSamples)}))});
    size_t offset = 0;
    uint32_t size = 0;
    ASSERT_TRUE(read(file, nullptr, &size, &offset));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(file[offset + 5], 6);

    // A RIFF chunk of another form is skipped as a whole.
    std::vector<uint8_t> other = riff(chunk("data", kSamples), "AVI ");
    EXPECT_TRUE(read(join({other, soundtest::makeWave(1, 22050, 16, kSamples)})));
}

TEST(WaveChunks, DataBeforeFormatIsNotFound) {
    EXPECT_FALSE(read(riff(join({chunk("data", kSamples), chunk("fmt ", fmtBody(1, 22050, 16))}))));
}

TEST(WaveChunks, RefusesMalformedFiles) {
    const std::vector<uint8_t> good = soundtest::makeWave(1, 22050, 16, kSamples);
    EXPECT_FALSE(read({}));
    EXPECT_FALSE(read({'R', 'I', 'F', 'F'}));
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(read(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)))) << cut;
    EXPECT_FALSE(read(riff(chunk("data", kSamples))));                      // no "fmt "
    EXPECT_FALSE(read(riff(chunk("fmt ", fmtBody(1, 22050, 16)))));         // no "data"
    EXPECT_FALSE(read(riff(join({chunk("fmt ", fmtBody(1, 22050, 16, 22)),  // 40-byte "fmt "
                                 chunk("data", kSamples)}))));
    EXPECT_FALSE(read(riff(join({chunk("fmt ", {1, 0, 1, 0}), chunk("data", kSamples)}))));

    // Huge stated sizes: the data chunk, the "fmt " chunk, a chunk in between.
    std::vector<uint8_t> hugeData = good;
    hugeData[hugeData.size() - 10] = 0xFF;  // data size high byte
    hugeData[hugeData.size() - 9] = 0xFF;
    EXPECT_FALSE(read(hugeData));
    std::vector<uint8_t> hugeFmt = good;
    hugeFmt[16] = hugeFmt[17] = hugeFmt[18] = hugeFmt[19] = 0xFF;
    EXPECT_FALSE(read(hugeFmt));
    std::vector<uint8_t> hugeGap = riff(join({chunk("fmt ", fmtBody(1, 22050, 16)),
                                              chunk("JUNK", {0}), chunk("data", kSamples)}));
    hugeGap[40] = 0xF0;  // JUNK size
    hugeGap[43] = 0xFF;
    EXPECT_FALSE(read(hugeGap));

    // Formats the mixer cannot play.
    auto withFormat = [&](int channels, int rate, int bits) {
        return read(riff(join({chunk("fmt ", fmtBody(channels, rate, bits)), chunk("data", kSamples)})));
    };
    EXPECT_FALSE(withFormat(3, 22050, 16));
    EXPECT_FALSE(withFormat(1, 22050, 24));
    EXPECT_FALSE(withFormat(1, 0, 16));
    std::vector<uint8_t> adpcm = good;
    adpcm[20] = 2;  // format tag
    EXPECT_FALSE(read(adpcm));
    // No whole frame of 16-bit stereo.
    EXPECT_FALSE(read(soundtest::makeWave(2, 22050, 16, {1, 2, 3})));
}

TEST(WaveChunks, SurvivesCorruptedFiles) {
    std::vector<uint8_t> good = riff(join({chunk("LIST", {1, 2, 3}), chunk("fmt ", fmtBody(2, 22050, 16, 0)),
                                           chunk("data", std::vector<uint8_t>(64, 7))}));
    uint32_t x = 2024;
    auto next = [&x] { return x = x * 1664525 + 1013904223; };
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bad = good;
        for (int flips = 1 + int(next() % 4); flips > 0; --flips)
            bad[next() % bad.size()] = uint8_t(next() >> 24);
        bad.resize(bad.size() - next() % 8);
        sound::WaveFormat f;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (sound::readWave(bad.data(), bad.size(), f, data, size)) {
            ASSERT_GE(data, bad.data());
            ASSERT_LE(data + size, bad.data() + bad.size());
            ASSERT_GE(size, uint32_t(f.channels * f.bitsPerSample / 8));
        }
    }
}
