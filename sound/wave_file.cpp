#include "sound/wave_file.h"

#include <cstring>

#include "platform/audio_mixer.h"
#include "platform/byte_reader.h"

namespace sound {

namespace {

constexpr uint16_t kFormatPcm = 1;

struct Chunk {
    uint64_t dataStart = 0;  // first byte after the 8-byte header
    uint32_t size = 0;       // as stated
};

// Searches [from, end) for a chunk named `id`; with `form`, the chunk must
// be a RIFF chunk whose first four data bytes are that form type. Chunks
// whose header does not fit before `end` end the search.
bool findChunk(const uint8_t* bytes, uint64_t from, uint64_t end, const char* id,
               const char* form, Chunk& out) {
    platform::ByteReader in(bytes, size_t(end));
    uint64_t pos = from;
    while (pos + 8 <= end) {
        in.seek(size_t(pos));
        bool named = in.match(id, 4);
        if (!named) in.skip(4);
        uint32_t size = in.u32();
        if (named) {
            bool formMatches = !form || (pos + 12 <= end && size >= 4 && in.match(form, 4));
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
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
           f.samplesPerSec >= uint32_t(platform::kMinSourceRate) &&
           f.samplesPerSec <= uint32_t(platform::kMaxSourceRate);
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
    platform::ByteReader in(slot, sizeof slot);
    WaveFormat f;
    f.formatTag = in.u16();
    f.channels = in.u16();
    f.samplesPerSec = in.u32();
    f.avgBytesPerSec = in.u32();
    f.blockAlign = in.u16();
    f.bitsPerSample = in.u16();
    f.extraSize = in.u16();
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
