// graphics/byte_reader.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace graphics {

// Little-endian reads from a block of memory. Past the end, reads yield 0
// and set the failure flag, so a parser reads a whole header and checks
// once. `copy` hands out what is left and zero-fills the rest, which is how
// the image readers treat a file shorter than its header promises.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : bytes(data), length(size) {}

    uint8_t u8() {
        if (bad || length - pos < 1) { bad = true; return 0; }
        return bytes[pos++];
    }
    uint16_t u16() {
        if (bad || length - pos < 2) { bad = true; pos = length; return 0; }
        const uint8_t* p = bytes + pos;
        pos += 2;
        return uint16_t(p[0] | p[1] << 8);
    }
    uint32_t u32() {
        if (bad || length - pos < 4) { bad = true; pos = length; return 0; }
        const uint8_t* p = bytes + pos;
        pos += 4;
        return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    }
    int32_t i32() { return int32_t(u32()); }

    void skip(size_t count) {
        if (length - pos < count) { bad = true; pos = length; return; }
        pos += count;
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

    size_t remaining() const { return length - pos; }
    bool hasFailed() const { return bad; }

private:
    const uint8_t* bytes;
    size_t length;
    size_t pos = 0;
    bool bad = false;
};

}  // namespace graphics
