// squirrel/stdlib/string_format.h
#pragma once
#include <cstddef>
#include <string>

namespace sqstd {

// One argument of the script `format` function, read once from the stack:
// numbers carry both their integer and float readings so each conversion
// takes the one it needs.
struct FormatArg {
    enum class Kind { Integer, Float, String, Other };
    Kind kind = Kind::Other;
    int integer = 0;
    float real = 0.0f;
    const char* text = nullptr;  // String: up to its first NUL
};

// Builds `out` from the printf subset of `format` (flags, at most two
// width and two precision digits, conversions s d i c o u x X f g G e E)
// with the texts of the C run-time the games were made with: three
// exponent digits and 1.#INF-style infinities and NaNs. Returns null on
// success, else the script-visible error text; `out` then holds a part.
const char* formatString(const char* format, size_t length, const FormatArg* args,
                         int argCount, std::string& out);

// One float conversion (`conversion` is f, e, E, g or G) the way that
// run-time prints it. `flags` holds any of "-+ #0"; width and precision
// are -1 when absent.
std::string formatFloat(double value, const char* flags, int width, int precision,
                        char conversion);

}  // namespace sqstd
