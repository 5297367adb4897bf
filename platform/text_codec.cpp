#include "platform/text_codec.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One conversion descriptor per direction and thread: iconv_t carries
// shift state and is not safe to share between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter() {
        if (cd != iconv_t(-1)) iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return cd != iconv_t(-1); }

    // Converts one unit starting at *in; returns false on EILSEQ/EINVAL so
    // the caller can substitute and step over a byte.
    size_t convert(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        return iconv(cd, const_cast<char**>(&in), &inLeft, &out, &outLeft);
    }
    void reset() { iconv(cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd;
};

Converter& cp932ToUtf32Converter() {
    thread_local Converter converter("UTF-32LE", "CP932");
    return converter;
}

Converter& utf32ToCp932Converter() {
    thread_local Converter converter("CP932", "UTF-32LE");
    return converter;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence; returns U+FFFD and consumes one byte when
// the sequence is malformed, overlong or a surrogate.
char32_t nextUtf8(std::string_view text, size_t& pos) {
    auto byte = [&](size_t i) { return uint8_t(text[i]); };
    uint8_t lead = byte(pos);
    int extra;
    char32_t c;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
    } else {
        ++pos;
        return kReplacement;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return kReplacement;
    }
    for (int i = 1; i <= extra; ++i) {
        uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += extra + 1;
    return c;
}

}  // namespace

std::u32string cp932ToUtf32(std::string_view cp932) {
    std::u32string result;
    result.reserve(cp932.size());
    cp932ToUtf32(cp932, result);
    return result;
}

void cp932ToUtf32(std::string_view cp932, std::u32string& result) {
    result.clear();
    Converter& converter = cp932ToUtf32Converter();
    if (!converter.isOpen()) {
        // No CP932 tables in this C library: keep ASCII, replace the rest.
        for (char c : cp932) result += uint8_t(c) < 0x80 ? char32_t(uint8_t(c)) : kReplacement;
        return;
    }
    const char* in = cp932.data();
    size_t inLeft = cp932.size();
    while (inLeft > 0) {
        char32_t unit = 0;
        char* out = reinterpret_cast<char*>(&unit);
        size_t outLeft = sizeof unit;
        size_t done = converter.convert(in, inLeft, out, outLeft);
        if (outLeft == 0) {
            result += unit;  // iconv stops once the single output unit is full
            if (done == size_t(-1) && errno != E2BIG) converter.reset();
            continue;
        }
        if (done == size_t(-1)) {
            // Undecodable byte or truncated double-byte character.
            converter.reset();
            result += kReplacement;
            ++in;
            --inLeft;
        }
    }
}

std::string cp932ToUtf8(std::string_view cp932) {
    return utf32ToUtf8(cp932ToUtf32(cp932));
}

std::string utf32ToUtf8(std::u32string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char32_t c : text) appendUtf8(result, c > 0x10FFFF ? kReplacement : c);
    return result;
}

std::string utf8ToCp932(std::string_view utf8) {
    std::string result;
    Converter& converter = utf32ToCp932Converter();
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = nextUtf8(utf8, pos);
        if (c < 0x80) {
            result += char(c);
            continue;
        }
        char buffer[8];
        const char* in = reinterpret_cast<const char*>(&c);
        size_t inLeft = sizeof c;
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (!converter.isOpen() || c == kReplacement ||
            converter.convert(in, inLeft, out, outLeft) == size_t(-1)) {
            if (converter.isOpen()) converter.reset();
            result += '?';
            continue;
        }
        result.append(buffer, sizeof buffer - outLeft);
    }
    return result;
}

bool isUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t before = pos;
        char32_t c = nextUtf8(bytes, pos);
        if (c == kReplacement && !(pos - before == 3 && bytes.substr(before, 3) == "\xEF\xBF\xBD"))
            return false;
    }
    return true;
}

std::string displayText(std::string_view text) {
    return isUtf8(text) ? std::string(text) : cp932ToUtf8(text);
}

}  // namespace platform
