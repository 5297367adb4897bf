#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "squirrel/stdlib/string_format.h"

namespace {

using sqstd::FormatArg;

FormatArg integerArg(int i) {
    FormatArg a;
    a.kind = FormatArg::Kind::Integer;
    a.integer = i;
    a.real = float(i);
    return a;
}

FormatArg floatArg(float f) {
    FormatArg a;
    a.kind = FormatArg::Kind::Float;
    a.real = f;
    a.integer = std::isfinite(f) && std::fabs(f) < 2e9f ? int(f) : 0;
    return a;
}

FormatArg stringArg(const char* s) {
    FormatArg a;
    a.kind = FormatArg::Kind::String;
    a.text = s;
    return a;
}

FormatArg otherArg() {
    return FormatArg();
}

// The formatted text, or "error: <text>".
std::string format(const std::string& fmt, const std::vector<FormatArg>& args = {}) {
    std::string out;
    const char* error = sqstd::formatString(fmt.data(), fmt.size(), args.data(),
                                            int(args.size()), out);
    return error ? std::string("error: ") + error : out;
}

TEST(FormatDirectiveErrors, NameTheFirstProblem) {
    EXPECT_EQ(format("%d %d", {integerArg(1)}),
              "error: not enough paramters for the given format string");
    EXPECT_EQ(format("%q"), "error: not enough paramters for the given format string");
    EXPECT_EQ(format("%100d", {integerArg(1)}), "error: width format too long");
    EXPECT_EQ(format("%.100f", {floatArg(1)}), "error: precision format too long");
    EXPECT_EQ(format("%-+ #0-+ #0-+ #0-+ #0d", {integerArg(1)}), "error: format too long");
    EXPECT_EQ(format("%q", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%ld", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%*d", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%p", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%n", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("abc%", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%-", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("x%+ #0", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("%5.", {integerArg(1)}), "error: invalid format");
    EXPECT_EQ(format("100%"), "error: not enough paramters for the given format string");
}

TEST(FormatDirectiveErrors, CheckTheArgumentType) {
    EXPECT_EQ(format("%s", {integerArg(5)}), "error: string expected for the specified format");
    EXPECT_EQ(format("%s", {otherArg()}), "error: string expected for the specified format");
    EXPECT_EQ(format("%d", {stringArg("x")}), "error: integer expected for the specified format");
    EXPECT_EQ(format("%c", {otherArg()}), "error: integer expected for the specified format");
    EXPECT_EQ(format("%f", {stringArg("x")}), "error: float expected for the specified format");
    EXPECT_EQ(format("%e", {otherArg()}), "error: float expected for the specified format");
}

TEST(FormatConversions, FollowCFormatting) {
    EXPECT_EQ(format("%s=%d (0x%04X) %.2f%%",
                     {stringArg("v"), integerArg(255), integerArg(255), floatArg(0.5f)}),
              "v=255 (0x00FF) 0.50%");
    EXPECT_EQ(format("%d", {floatArg(-3.99f)}), "-3");
    EXPECT_EQ(format("%u %x %o", {integerArg(-1), integerArg(-1), integerArg(8)}),
              "4294967295 ffffffff 10");
    EXPECT_EQ(format("[%5s|%-5s|%.2s]", {stringArg("ab"), stringArg("cd"), stringArg("xyz")}),
              "[   ab|cd   |xy]");
    EXPECT_EQ(format("%f", {integerArg(16777217)}), "16777216.000000");  // through a float
    EXPECT_EQ(format("%.10f", {floatArg(0.1f)}), "0.1000000015");
    EXPECT_EQ(format("%d", {integerArg(1), integerArg(2)}), "1");
    EXPECT_EQ(format("100%%"), "100%");
    EXPECT_EQ(format("%c", {integerArg(0x141)}), "A");
    EXPECT_EQ(format("a%cb", {integerArg(0)}), std::string("a\0b", 3));
    EXPECT_EQ(format(std::string("x\0%d", 4), {integerArg(7)}), std::string("x\0" "7", 3));
}

TEST(FormatFloats, UseThreeExponentDigits) {
    EXPECT_EQ(format("%e", {floatArg(1.0f)}), "1.000000e+000");
    EXPECT_EQ(format("%E", {floatArg(1e-7f)}), "1.000000E-007");
    EXPECT_EQ(format("%g", {floatArg(1e20f)}), "1e+020");
    EXPECT_EQ(format("%g", {floatArg(123456.0f)}), "123456");
    EXPECT_EQ(format("%12.3e|", {floatArg(12345.678f)}), "  1.235e+004|");
    EXPECT_EQ(format("%-12.3e|", {floatArg(12345.678f)}), "1.235e+004  |");
    EXPECT_EQ(format("%012.3e", {floatArg(-12345.678f)}), "-01.235e+004");
    EXPECT_EQ(format("%+g", {floatArg(2.5e38f)}), "+2.5e+038");
}

TEST(FormatFloats, RoundTiesAwayFromZeroAfterSeventeenDigits) {
    EXPECT_EQ(format("%.1f|%.1f|%.0f|%.0f", {floatArg(2.25f), floatArg(-0.25f), floatArg(0.5f),
                                            floatArg(2.5f)}),
              "2.3|-0.3|1|3");
    EXPECT_EQ(format("%.2e|%.1g|%.3g", {floatArg(1.125f), floatArg(0.25f), floatArg(1.0625f)}),
              "1.13e+000|0.3|1.06");
    EXPECT_EQ(format("%.20f", {floatArg(0.1f)}), "0.10000000149011612000");
    EXPECT_EQ(format("%.0f", {floatArg(1e20f)}), "100000002004087730000");
    EXPECT_EQ(format("%.0f|%.2f", {floatArg(-0.4f), floatArg(0.0f)}), "-0|0.00");
    EXPECT_EQ(format("%#.0f|%#.0e|%#g", {floatArg(3.0f), floatArg(3.0f), floatArg(3.0f)}),
              "3.|3.e+000|3.00000");
    EXPECT_EQ(format("%g|%g|%g", {floatArg(0.0001f), floatArg(0.00001f), floatArg(999999.5f)}),
              "0.0001|1e-005|1e+006");
    EXPECT_EQ(format("%#.3G", {floatArg(999.75f)}), "1.00E+003");
}

TEST(FormatFloats, PrintInfinitiesAndNaNsAsTheRunTimeDoes) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(sqstd::formatFloat(inf, "", -1, -1, 'f'), "1.#INF00");
    EXPECT_EQ(sqstd::formatFloat(-inf, "", -1, -1, 'f'), "-1.#INF00");
    EXPECT_EQ(sqstd::formatFloat(inf, "", -1, 2, 'f'), "1.#J");
    EXPECT_EQ(sqstd::formatFloat(inf, "", -1, 0, 'f'), "1");
    EXPECT_EQ(sqstd::formatFloat(inf, "", -1, -1, 'e'), "1.#INF00e+000");
    EXPECT_EQ(sqstd::formatFloat(inf, "", -1, -1, 'g'), "1.#INF");
    EXPECT_EQ(sqstd::formatFloat(inf, "+", 9, -1, 'g'), "  +1.#INF");
    EXPECT_EQ(sqstd::formatFloat(std::nan(""), "", -1, -1, 'f'), "1.#QNAN0");
    uint32_t bits = 0xFFC00000u;  // the x87/SSE default NaN of 0.0 / 0.0
    float indefinite;
    std::memcpy(&indefinite, &bits, sizeof indefinite);
    EXPECT_EQ(format("%f", {floatArg(indefinite)}), "-1.#IND00");
}

}  // namespace
