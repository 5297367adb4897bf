// sound/wave_file.h
#pragma once
#include <cstddef>
#include <cstdint>

namespace sound {

// The "fmt " chunk as a format slot holds it: 18 bytes, the fields of the
// old wave format record. A 16-byte chunk leaves extraSize at 0.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

constexpr uint32_t kWaveFormatBytes = 18;

// Finds the samples of a RIFF/WAVE file held in memory, searching chunks
// the way the old multimedia file functions do: the first "RIFF" chunk of
// form "WAVE" at the top level (other top-level chunks are skipped), its
// first "fmt " chunk, then the first "data" chunk *after* the "fmt "
// chunk, each search bounded by the enclosing chunk and the file. Chunks
// are padded to even sizes.
//
// False when the file's content is unusable: no such chunk, a chunk that
// runs past its parent or the file, a "fmt " chunk longer than the 18
// bytes of a format slot, a format other than 8- or 16-bit PCM with one or
// two channels at 100 to 384000 Hz, or a "data" chunk without a whole frame. On success `data`
// points into `bytes` and `dataSize` is the chunk's stated size.
bool readWave(const uint8_t* bytes, size_t size, WaveFormat& format, const uint8_t*& data,
              uint32_t& dataSize);

}  // namespace sound
