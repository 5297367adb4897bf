#include "squirrel/stdlib/string_format.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "squirrel/stdlib/messages.h"

namespace sqstd {

namespace {

constexpr int kMaxFieldDigits = 2;
constexpr int kMaxDirectiveLength = 20;  // '%' through the precision digits
constexpr int kDefaultPrecision = 6;
constexpr int kSignificantDigits = 17;

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
    // Integer directives and most texts fit the buffer: one pass.
    char buffer[128];
    int size = vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (size > 0 && size_t(size) < sizeof buffer) {
        out.append(buffer, size_t(size));
    } else if (size > 0) {
        size_t old = out.size();
        out.resize(old + size_t(size) + 1);
        vsnprintf(&out[old], size_t(size) + 1, format, args);
        out.resize(old + size_t(size));
    }
    va_end(args);
}

// The run-time turns a double into 17 significant decimal digits, prints
// zeros past them, and rounds them to the printed count half away from
// zero (%.1f of 2.25 is 2.3, %.0f of 0.5 is 1).
struct DecimalDigits {
    std::string digits;  // kSignificantDigits of them, or the rounded ones
    int exponent = 0;    // the value is d.ddd times ten to this
};

DecimalDigits toDecimal(double magnitude) {
    DecimalDigits out;
    if (magnitude == 0) {
        out.digits.assign(kSignificantDigits, '0');
        return out;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", kSignificantDigits - 1, magnitude);
    const char* e = std::strchr(buffer, 'e');
    out.digits += buffer[0];
    out.digits.append(buffer + 2, size_t(e - buffer - 2));
    out.exponent = std::atoi(e + 1);
    return out;
}

// Leaves `keep` leading digits. A carry out of the first digit gives "1"
// and `keep` zeros with the exponent raised, so fixed-point callers keep
// their decimals; none left (keep below 1) gives an empty string unless
// the value rounds up to one unit of the first kept place.
std::string roundDigits(DecimalDigits& x, int keep) {
    const std::string& d = x.digits;
    if (keep < 0 || (keep == 0 && d[0] < '5')) return std::string();
    std::string kept = d.substr(0, size_t(keep < int(d.size()) ? keep : int(d.size())));
    if (keep > int(d.size())) kept.append(size_t(keep) - d.size(), '0');
    if (keep < int(d.size()) && d[size_t(keep)] >= '5') {
        int i = keep - 1;
        while (i >= 0 && kept[size_t(i)] == '9') kept[size_t(i--)] = '0';
        if (i >= 0) {
            kept[size_t(i)]++;
        } else {
            kept.insert(kept.begin(), '1');
            x.exponent++;
        }
    }
    return kept;
}

std::string fixedText(DecimalDigits x, int decimals, bool alternate) {
    std::string digits = roundDigits(x, x.exponent + 1 + decimals);
    std::string whole = "0", fraction(size_t(decimals), '0');
    if (!digits.empty()) {
        if (x.exponent >= 0) {
            whole = digits.substr(0, size_t(x.exponent) + 1);
            fraction = digits.substr(size_t(x.exponent) + 1);
        } else {
            fraction = std::string(size_t(-x.exponent - 1), '0') + digits;
            fraction.resize(size_t(decimals), '0');
        }
    }
    if (decimals > 0 || alternate) whole += '.';
    return whole + fraction;
}

std::string exponentText(DecimalDigits x, int decimals, bool alternate, char letter) {
    std::string digits = roundDigits(x, decimals + 1);
    digits.resize(size_t(decimals) + 1);
    std::string text(1, digits[0]);
    if (decimals > 0 || alternate) text += '.';
    text.append(digits, 1, std::string::npos);
    text += letter;
    text += x.exponent < 0 ? '-' : '+';
    std::string power = std::to_string(x.exponent < 0 ? -x.exponent : x.exponent);
    if (power.size() < 3) power.insert(0, 3 - power.size(), '0');
    return text + power;
}

void stripZeros(std::string& text) {
    size_t end = text.find_first_of("eE");
    std::string tail = end == std::string::npos ? "" : text.substr(end);
    std::string body = text.substr(0, end);
    if (body.find('.') == std::string::npos) return;
    while (body.back() == '0') body.pop_back();
    if (body.back() == '.') body.pop_back();
    text = body + tail;
}

std::string finiteText(double value, bool alternate, int precision, char conversion) {
    DecimalDigits x = toDecimal(std::fabs(value));
    int p = precision < 0 ? kDefaultPrecision : precision;
    if (conversion == 'f') return fixedText(x, p, alternate);
    if (conversion == 'e' || conversion == 'E') return exponentText(x, p, alternate, conversion);
    int significant = p == 0 ? 1 : p;
    DecimalDigits rounded = x;
    roundDigits(rounded, significant);
    bool useExponent = rounded.exponent < -4 || rounded.exponent >= significant;
    std::string text = useExponent
        ? exponentText(x, significant - 1, alternate, conversion == 'g' ? 'e' : 'E')
        : fixedText(x, significant - 1 - rounded.exponent, alternate);
    if (!alternate) stripZeros(text);
    return text;
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
    bool alternate = std::strchr(flags, '#') != nullptr;
    std::string text = std::isfinite(value) ? finiteText(value, alternate, precision, conversion)
                                            : nonFiniteText(value, flags, precision, conversion);
    if (std::signbit(value)) {
        text.insert(0, 1, '-');
    } else if (std::strchr(flags, '+')) {
        text.insert(0, 1, '+');
    } else if (std::strchr(flags, ' ')) {
        text.insert(0, 1, ' ');
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
            if (directive.size() == 2) {
                out += arg.text ? arg.text : "";  // a bare %s: the text up to its NUL
                break;
            }
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
