#include "sound/wave_file.h"

#include <cstring>

namespace sound {

namespace {

constexpr uint16_t kFormatPcm = 1;

uint32_t read32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct Chunk {
    uint64_t dataStart = 0;  // first byte after the 8-byte header
    uint32_t size = 0;       // as stated
};

// Searches [from, end) for a chunk named `id`; with `form`, the chunk must
// be a RIFF chunk whose first four data bytes are that form type. Chunks
// whose header does not fit before `end` end the search.
bool findChunk(const uint8_t* bytes, uint64_t from, uint64_t end, const char* id,
               const char* form, Chunk& out) {
    uint64_t pos = from;
    while (pos + 8 <= end) {
        const uint8_t* header = bytes + pos;
        uint32_t size = read32(header + 4);
        if (memcmp(header, id, 4) == 0) {
            bool formMatches = !form || (pos + 12 <= end && size >= 4 &&
                                         memcmp(header + 8, form, 4) == 0);
            if (formMatches) {
                out.dataStart = pos + 8;
                out.size = size;
                return true;
            }
        }
        pos += 8 + uint64_t(size) + (size & 1);
    }
    return false;
}

bool isPlayable(const WaveFormat& f) {
    return f.formatTag == kFormatPcm && (f.channels == 1 || f.channels == 2) &&
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.samplesPerSec >= 1 &&
           f.samplesPerSec <= 384000;
}

}  // namespace

bool readWave(const uint8_t* bytes, size_t size, WaveFormat& format, const uint8_t*& data,
              uint32_t& dataSize) {
    const uint64_t fileEnd = size;
    Chunk riff;
    if (!findChunk(bytes, 0, fileEnd, "RIFF", "WAVE", riff)) return false;
    uint64_t riffEnd = riff.dataStart + riff.size;
    if (riffEnd > fileEnd) riffEnd = fileEnd;

    Chunk fmt;
    if (!findChunk(bytes, riff.dataStart + 4, riffEnd, "fmt ", nullptr, fmt)) return false;
    // The whole chunk is read into the slot: it must be there and fit.
    if (fmt.size > kWaveFormatBytes || fmt.dataStart + fmt.size > riffEnd) return false;
    uint8_t slot[kWaveFormatBytes] = {};
    memcpy(slot, bytes + fmt.dataStart, fmt.size);
    WaveFormat f;
    f.formatTag = read16(slot);
    f.channels = read16(slot + 2);
    f.samplesPerSec = read32(slot + 4);
    f.avgBytesPerSec = read32(slot + 8);
    f.blockAlign = read16(slot + 12);
    f.bitsPerSample = read16(slot + 14);
    f.extraSize = read16(slot + 16);
    if (!isPlayable(f)) return false;

    uint64_t afterFmt = fmt.dataStart + fmt.size + (fmt.size & 1);
    Chunk chunk;
    if (!findChunk(bytes, afterFmt, riffEnd, "data", nullptr, chunk)) return false;
    if (chunk.dataStart + chunk.size > riffEnd) return false;
    uint32_t frameBytes = uint32_t(f.channels) * f.bitsPerSample / 8;
    if (chunk.size < frameBytes) return false;

    format = f;
    data = bytes + chunk.dataStart;
    dataSize = chunk.size;
    return true;
}

}  // namespace sound
