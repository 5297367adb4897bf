// platform/byte_reader.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

// Bounded reads from a block of memory, little-endian unless the name says
// big-endian. Past the end, reads yield 0 and set the failure flag, so a
// parser reads a whole header and checks once. `copy` hands out what is
// left and zero-fills the rest, which is how the image readers treat a file
// shorter than its header promises. Every file reader of the program (images,
// waves, MIDI, models) reads through one of these.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : bytes(data), length(size) {}

    uint8_t u8() {
        if (bad || length - pos < 1) { bad = true; return 0; }
        return bytes[pos++];
    }
    uint16_t u16() {
        const uint8_t* p = take(2);
        return p ? uint16_t(p[0] | p[1] << 8) : 0;
    }
    uint32_t u32() {
        const uint8_t* p = take(4);
        return p ? p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24 : 0;
    }
    int32_t i32() { return int32_t(u32()); }
    float f32() {
        uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    uint16_t u16be() {
        const uint8_t* p = take(2);
        return p ? uint16_t(p[0] << 8 | p[1]) : 0;
    }
    uint32_t u32be() {
        const uint8_t* p = take(4);
        return p ? uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3] : 0;
    }
    // True, consuming them, when the next bytes are `tag` (no terminator);
    // otherwise nothing is consumed and the failure flag is untouched.
    bool match(const char* tag, size_t count) {
        if (bad || length - pos < count || std::memcmp(bytes + pos, tag, count) != 0) return false;
        pos += count;
        return true;
    }

    void skip(size_t count) {
        if (length - pos < count) { bad = true; pos = length; return; }
        pos += count;
    }
    // Moves to an absolute offset; past the end fails like a short read.
    void seek(size_t offset) {
        if (offset > length) { bad = true; pos = length; return; }
        pos = offset;
    }

    // Copies `count` bytes to `out`; bytes beyond the end become 0 and set
    // the failure flag. Returns the number of bytes that came from the data.
    size_t copy(uint8_t* out, size_t count) {
        size_t available = length - pos < count ? length - pos : count;
        if (available) std::memcpy(out, bytes + pos, available);
        if (available < count) {
            std::memset(out + available, 0, count - available);
            bad = true;
        }
        pos += available;
        return available;
    }

    // The next `count` bytes in place, consumed; null (and failed) when
    // fewer remain.
    const uint8_t* take(size_t count) {
        if (bad || length - pos < count) { bad = true; pos = length; return nullptr; }
        const uint8_t* p = bytes + pos;
        pos += count;
        return p;
    }

    size_t position() const { return pos; }
    size_t size() const { return length; }
    size_t remaining() const { return length - pos; }
    bool hasFailed() const { return bad; }

private:
    const uint8_t* bytes;
    size_t length;
    size_t pos = 0;
    bool bad = false;
};

}  // namespace platform
