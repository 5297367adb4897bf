// RIFF/WAVE files on arbitrary bytes: an accepted file's samples lie inside
// the bytes, in a format the players handle.
#include <cstddef>
#include <cstdint>

#include "sound/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sound::WaveFormat format;
    const uint8_t* samples = nullptr;
    uint32_t sampleBytes = 0;
    if (!sound::readWave(data, size, format, samples, sampleBytes)) return 0;
    if (samples < data || size_t(samples - data) > size) __builtin_trap();
    if (format.channels < 1 || format.channels > 2) __builtin_trap();
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) __builtin_trap();
    if (sampleBytes > size - size_t(samples - data)) __builtin_trap();
    uint32_t sum = 0;
    for (size_t i = 0; i < sampleBytes; ++i) sum += samples[i];
    (void)sum;
    return 0;
}
