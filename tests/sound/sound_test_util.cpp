#include "tests/sound/sound_test_util.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace soundtest {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32be(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}
void putVarLen(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[4];
    int n = 0;
    do {
        bytes[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v && n < 4);
    for (int i = n - 1; i >= 0; --i) out.push_back(uint8_t(bytes[i] | (i ? 0x80 : 0)));
}
uint32_t get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(id, id + 4);
    put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}

std::vector<uint8_t> fmtBody(int channels, int rate, int bits, int extraBytes) {
    std::vector<uint8_t> out;
    put16(out, 1);
    put16(out, uint32_t(channels));
    put32(out, uint32_t(rate));
    put32(out, uint32_t(rate * channels * bits / 8));
    put16(out, uint32_t(channels * bits / 8));
    put16(out, uint32_t(bits));
    if (extraBytes >= 0) {
        put16(out, uint32_t(extraBytes));
        out.insert(out.end(), size_t(extraBytes), 0);
    }
    return out;
}

std::vector<uint8_t> riff(const std::vector<uint8_t>& body, const char* form) {
    std::vector<uint8_t> inner(form, form + 4);
    inner.insert(inner.end(), body.begin(), body.end());
    return chunk("RIFF", inner);
}

std::vector<uint8_t> makeWave(int channels, int rate, int bits, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> body = chunk("fmt ", fmtBody(channels, rate, bits));
    std::vector<uint8_t> dataChunk = chunk("data", data);
    body.insert(body.end(), dataChunk.begin(), dataChunk.end());
    return riff(body);
}

std::vector<uint8_t> constantWave(int rate, int frames, int16_t value) {
    std::vector<uint8_t> data;
    for (int i = 0; i < frames; ++i) put16(data, uint16_t(value));
    return makeWave(1, rate, 16, data);
}

std::vector<uint8_t> makeMidi(int format, int division,
                              const std::vector<std::vector<MidiEvent>>& tracks) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    put32be(out, 6);
    out.push_back(0);
    out.push_back(uint8_t(format));
    out.push_back(0);
    out.push_back(uint8_t(tracks.size()));
    out.push_back(uint8_t(division >> 8));
    out.push_back(uint8_t(division));
    for (const auto& track : tracks) {
        std::vector<uint8_t> body;
        for (const MidiEvent& e : track) {
            putVarLen(body, e.delta);
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put32be(out, uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

std::vector<uint8_t> heldNoteMidi(int division, int program, int key, double startQuarter,
                                  double quarters) {
    uint32_t start = uint32_t(std::lround(startQuarter * division));
    uint32_t length = uint32_t(std::lround(quarters * division));
    return makeMidi(0, division,
                    {{{0, {0xC0, uint8_t(program)}},
                      {0, {0xB0, 7, 127}},
                      {start, {0x90, uint8_t(key), 110}},
                      {length, {0x80, uint8_t(key), 0}},
                      {0, {0xFF, 0x2F, 0x00}}}});
}

TempFolder::TempFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    root = std::filesystem::temp_directory_path() /
           ("tesserae-sound-" + std::to_string(random() % 1000000000ull));
    std::filesystem::create_directories(root);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string TempFolder::path(const std::string& relative) const { return (root / relative).string(); }

void TempFolder::write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    std::filesystem::path target = root / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> TempFolder::read(const std::string& relative) const {
    std::ifstream in(root / relative, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

AudioRig::AudioRig(const std::string& path) : clock(1000), capturePath(path) {
    platform::setClock(&clock);
    capture.open(capturePath, mixer.rate());
    mixer.setCapture(&capture);
    output = std::make_unique<platform::NullAudioOutput>(mixer, clock);
    start = clock.now();
}

AudioRig::~AudioRig() {
    output.reset();
    mixer.setCapture(nullptr);
    platform::setClock(nullptr);
}

void AudioRig::advanceTo(uint32_t milliseconds) {
    uint32_t now = elapsed();
    if (milliseconds > now) clock.advance(milliseconds - now);
}

std::vector<int16_t> AudioRig::finish() {
    output.reset();
    mixer.setCapture(nullptr);
    capture.close();
    return readCapture(capturePath);
}

std::vector<int16_t> readCapture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < 44 || memcmp(bytes.data(), "RIFF", 4) != 0 ||
        memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0 || memcmp(bytes.data() + 36, "data", 4) != 0)
        return {};
    uint32_t channels = bytes[22] | bytes[23] << 8;
    uint32_t rate = get32(&bytes[24]);
    uint32_t bits = bytes[34] | bytes[35] << 8;
    uint32_t dataSize = get32(&bytes[40]);
    if (channels != 2 || rate != uint32_t(platform::kOutputRate) || bits != 16 ||
        get32(&bytes[4]) != dataSize + 36 || dataSize != bytes.size() - 44)
        return {};
    std::vector<int16_t> samples(dataSize / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint16_t(bytes[44 + i * 2] | bytes[45 + i * 2] << 8));
    return samples;
}

double rms(const std::vector<int16_t>& samples, int64_t from, int64_t to) {
    double sum = 0;
    int64_t count = 0;
    for (int64_t f = from; f < to && f * 2 < int64_t(samples.size()); ++f, ++count) {
        double s = samples[size_t(f * 2)];
        sum += s * s;
    }
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

int peak(const std::vector<int16_t>& samples, int64_t from, int64_t to) {
    int best = 0;
    for (int64_t i = from * 2; i < to * 2 && i < int64_t(samples.size()); ++i)
        best = std::max(best, std::abs(int(samples[size_t(i)])));
    return best;
}

}  // namespace soundtest
