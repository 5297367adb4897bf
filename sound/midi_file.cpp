#include "sound/midi_file.h"

#include <cstring>

#include "platform/byte_reader.h"

namespace sound {

namespace {

// Reads a variable-length quantity of at most four bytes.
bool readVarLen(const uint8_t* p, size_t end, size_t& pos, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end) return false;
        uint8_t b = p[pos++];
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

// track -> { delta event } ; the end-of-track event, when present, ends it.
bool readTrack(const uint8_t* p, size_t start, size_t end, int64_t& length) {
    size_t pos = start;
    int64_t tick = 0;
    uint8_t running = 0;
    while (pos < end) {
        uint32_t delta;
        if (!readVarLen(p, end, pos, delta)) return false;
        tick += delta;
        if (tick > 0x7FFFFFFF || pos >= end) return false;  // the sequencer counts in int
        uint8_t status = p[pos];
        if (status & 0x80) {
            ++pos;
        } else {
            if (!running) return false;
            status = running;
        }
        if (status < 0xF0) {
            running = status;
            size_t dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (end - pos < dataBytes) return false;
            for (size_t i = 0; i < dataBytes; ++i) {
                if (p[pos + i] & 0x80) return false;
            }
            pos += dataBytes;
        } else if (status == 0xF0 || status == 0xF7) {
            running = 0;
            uint32_t count;
            if (!readVarLen(p, end, pos, count) || end - pos < count) return false;
            pos += count;
        } else if (status == 0xFF) {
            running = 0;
            if (pos >= end) return false;
            uint8_t type = p[pos++];
            uint32_t count;
            if (!readVarLen(p, end, pos, count) || end - pos < count) return false;
            pos += count;
            if (type == 0x2F) break;
        } else {
            return false;  // real-time and common messages do not belong in a file
        }
    }
    length = tick;
    return true;
}

}  // namespace

bool readMidiInfo(const uint8_t* bytes, size_t size, MidiFileInfo& info) {
    platform::ByteReader in(bytes, size);
    if (size < 14 || !in.match("MThd", 4)) return false;
    uint32_t headerSize = in.u32be();
    if (headerSize < 6 || headerSize > size - 8) return false;
    MidiFileInfo result;
    result.format = in.u16be();
    result.tracks = in.u16be();
    result.division = in.u16be();
    if (result.format > 1 || result.tracks < 1 || result.division == 0 ||
        (result.division & 0x8000))
        return false;
    if (result.format == 0 && result.tracks != 1) return false;
    size_t pos = 8 + size_t(headerSize);
    int found = 0;
    while (found < result.tracks) {
        if (size - pos < 8) return false;
        in.seek(pos);
        bool isTrack = in.match("MTrk", 4);
        if (!isTrack) in.skip(4);
        uint32_t chunkSize = in.u32be();
        size_t start = pos + 8;
        if (chunkSize > size - start) return false;
        if (isTrack) {
            int64_t length = 0;
            if (!readTrack(bytes, start, start + chunkSize, length)) return false;
            if (length > result.lengthTicks) result.lengthTicks = length;
            ++found;
        }
        pos = start + chunkSize;
    }
    info = result;
    return true;
}

int64_t musicToFileTicks(int64_t musicTime, int division) {
    return musicTime * division / kMusicTicksPerQuarter;
}

}  // namespace sound
