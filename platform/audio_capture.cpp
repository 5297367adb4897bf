#include "platform/audio_capture.h"

#include <cstring>

#include "platform/forced_end.h"

namespace platform {

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderBytes - 8;

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

}  // namespace

AudioCapture::~AudioCapture() { close(); }

bool AudioCapture::open(const std::string& path, int rate, int channels) {
    close();
    file = fopen(path.c_str(), "wb");
    if (!file) return false;
    channelCount = channels;
    dataBytes = 0;
    writeFailed = false;
    uint8_t header[kHeaderBytes];
    memcpy(header, "RIFF", 4);
    put32(header + 4, 0);
    memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);
    put16(header + 20, 1);  // PCM
    put16(header + 22, uint32_t(channels));
    put32(header + 24, uint32_t(rate));
    put32(header + 28, uint32_t(rate * channels * 2));
    put16(header + 32, uint32_t(channels * 2));
    put16(header + 34, 16);
    memcpy(header + 36, "data", 4);
    put32(header + 40, 0);
    if (fwrite(header, 1, sizeof header, file) != sizeof header) writeFailed = true;
    forcedEndSlot = holdWaveFile(fileno(file), channels * 2);
    return true;
}

void AudioCapture::write(const int16_t* samples, int frames) {
    if (!file || frames <= 0) return;
    uint32_t bytes = uint32_t(frames) * uint32_t(channelCount) * 2;
    if (bytes > kMaxDataBytes - dataBytes) return;
    uint8_t chunk[4096];
    size_t count = size_t(frames) * size_t(channelCount);
    for (size_t i = 0; i < count;) {
        size_t n = 0;
        for (; n < sizeof chunk && i < count; n += 2, ++i) put16(chunk + n, uint16_t(samples[i]));
        if (fwrite(chunk, 1, n, file) != n) writeFailed = true;
    }
    dataBytes += bytes;
}

bool AudioCapture::close() {
    if (!file) return true;
    dropWaveFile(forcedEndSlot);
    forcedEndSlot = -1;
    uint8_t size[4];
    put32(size, dataBytes + kHeaderBytes - 8);
    if (fseek(file, 4, SEEK_SET) != 0 || fwrite(size, 1, 4, file) != 4) writeFailed = true;
    put32(size, dataBytes);
    if (fseek(file, 40, SEEK_SET) != 0 || fwrite(size, 1, 4, file) != 4) writeFailed = true;
    if (fclose(file) != 0) writeFailed = true;
    file = nullptr;
    return !writeFailed;
}

}  // namespace platform
