#include "squirrel/stdlib/string_format.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "squirrel/stdlib/messages.h"

namespace sqstd {

namespace {

constexpr int kMaxFieldDigits = 2;
constexpr int kMaxDirectiveLength = 20;  // '%' through the precision digits
constexpr int kDefaultPrecision = 6;

bool isFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendFormatted(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int size = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size > 0) {
        size_t old = out.size();
        out.resize(old + size_t(size) + 1);
        vsnprintf(&out[old], size_t(size) + 1, format, args);
        out.resize(old + size_t(size));
    }
    va_end(args);
}

// The run-time prints at least three exponent digits: 1e+020, 1.5E-007.
void widenExponent(std::string& text) {
    size_t e = text.find_first_of("eE");
    if (e == std::string::npos || e + 1 >= text.size()) return;
    size_t digits = e + 2;  // past the sign
    size_t count = text.size() - digits;
    if (count < 3) text.insert(digits, 3 - count, '0');
}

// Infinities and NaNs come out as the digits "1#INF", "1#IND" or "1#QNAN"
// run through the ordinary fixed-point path, rounding included, so
// precision 2 turns "1.#INF" into "1.#J".
std::string nonFiniteDigits(double value, int decimals, bool alternate) {
    const char* digits = "1#INF";
    if (std::isnan(value)) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        bool indefinite = std::signbit(value) &&
                          (bits & 0x000FFFFFFFFFFFFFull) == 0x0008000000000000ull;
        digits = indefinite ? "1#IND" : "1#QNAN";
    }
    std::string fraction(digits + 1);
    if (decimals < int(fraction.size())) {
        bool roundUp = fraction[size_t(decimals)] >= '5';
        fraction.resize(size_t(decimals));
        std::string result = "1";
        if (roundUp) {
            if (fraction.empty()) result = "2"; else fraction.back()++;
        }
        if (!fraction.empty() || alternate) result += '.';
        return result + fraction;
    }
    fraction.append(size_t(decimals) - fraction.size(), '0');
    std::string result = "1.";
    result += fraction;
    return result;
}

std::string nonFiniteText(double value, const char* flags, int precision, char conversion) {
    bool alternate = std::strchr(flags, '#') != nullptr;
    int p = precision < 0 ? kDefaultPrecision : precision;
    std::string text;
    if (conversion == 'f') {
        text = nonFiniteDigits(value, p, alternate);
    } else if (conversion == 'e' || conversion == 'E') {
        text = nonFiniteDigits(value, p, alternate);
        text += conversion == 'e' ? "e+000" : "E+000";
    } else {
        text = nonFiniteDigits(value, p == 0 ? 0 : p - 1, alternate);
        if (!alternate && text.find('.') != std::string::npos) {
            while (text.back() == '0') text.pop_back();
            if (text.back() == '.') text.pop_back();
        }
    }
    return text;
}

void padToWidth(std::string& text, const char* flags, int width) {
    if (width < 0 || int(text.size()) >= width) return;
    size_t missing = size_t(width) - text.size();
    if (std::strchr(flags, '-')) {
        text.append(missing, ' ');
    } else if (std::strchr(flags, '0')) {
        size_t signs = !text.empty() && (text[0] == '-' || text[0] == '+' || text[0] == ' ');
        text.insert(signs, missing, '0');
    } else {
        text.insert(0, missing, ' ');
    }
}

}  // namespace

std::string formatFloat(double value, const char* flags, int width, int precision,
                        char conversion) {
    std::string text;
    if (std::isfinite(value)) {
        std::string directive = "%";
        directive += flags;
        if (precision >= 0) {
            directive += '.';
            directive += std::to_string(precision);
        }
        directive += conversion;
        appendFormatted(text, directive.c_str(), value);
        if (conversion != 'f') widenExponent(text);
    } else {
        text = nonFiniteText(value, flags, precision, conversion);
        if (std::signbit(value)) {
            text.insert(0, 1, '-');
        } else if (std::strchr(flags, '+')) {
            text.insert(0, 1, '+');
        } else if (std::strchr(flags, ' ')) {
            text.insert(0, 1, ' ');
        }
    }
    padToWidth(text, flags, width);
    return text;
}

const char* formatString(const char* format, size_t length, const FormatArg* args,
                         int argCount, std::string& out) {
    out.clear();
    int next = 0;
    size_t i = 0;
    while (i < length) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (i + 1 < length && format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        if (next >= argCount) return kNotEnoughParams;
        size_t directiveStart = i++;

        std::string flags;
        while (i < length && isFlag(format[i])) flags += format[i++];
        int width = -1, digits = 0;
        while (i < length && isDigit(format[i])) {
            if (++digits > kMaxFieldDigits) return kWidthTooLong;
            width = (width < 0 ? 0 : width * 10) + (format[i++] - '0');
        }
        int precision = -1;
        if (i < length && format[i] == '.') {
            ++i;
            precision = 0;
            digits = 0;
            while (i < length && isDigit(format[i])) {
                if (++digits > kMaxFieldDigits) return kPrecisionTooLong;
                precision = precision * 10 + (format[i++] - '0');
            }
        }
        if (i - directiveStart > size_t(kMaxDirectiveLength)) return kFormatTooLong;
        if (i >= length) return kInvalidFormat;

        char conversion = format[i++];
        const FormatArg& arg = args[next++];
        std::string directive(format + directiveStart, i - directiveStart);
        switch (conversion) {
        case 's':
            if (arg.kind != FormatArg::Kind::String) return kStringExpected;
            appendFormatted(out, directive.c_str(), arg.text ? arg.text : "");
            break;
        case 'd': case 'i': case 'c': case 'o': case 'u': case 'x': case 'X':
            if (arg.kind != FormatArg::Kind::Integer && arg.kind != FormatArg::Kind::Float) {
                return kIntegerExpected;
            }
            if (conversion == 'd' || conversion == 'i') {
                appendFormatted(out, directive.c_str(), arg.integer);
            } else if (conversion == 'c') {
                appendFormatted(out, directive.c_str(), int((unsigned char)arg.integer));
            } else {
                appendFormatted(out, directive.c_str(), unsigned(arg.integer));
            }
            break;
        case 'f': case 'g': case 'G': case 'e': case 'E': {
            double value;
            if (arg.kind == FormatArg::Kind::Float) {
                value = arg.real;
            } else if (arg.kind == FormatArg::Kind::Integer) {
                value = float(arg.integer);
            } else {
                return kFloatExpected;
            }
            out += formatFloat(value, flags.c_str(), width, precision, conversion);
            break;
        }
        default:
            return kInvalidFormat;
        }
    }
    return nullptr;
}

}  // namespace sqstd
