// How quellot-call reads a value: the VALUE forms it takes and refuses, and
// the exact decimals that --check shows for a call's value: every digit of
// the binary value, in plain notation where it stays short. In one process,
// so that every target's own from_chars is tried on every case.
#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "failure.h"
#include "target_nans.h"
#include "values.h"

namespace {

struct Read {
    std::string_view text;
    bool single;
    uint64_t bits;
};

TEST(ValueText, RoundedOnceToTheProbesPrecision)
{
    const Read cases[] = {
        {"1234.5678", true, 0x449a522b},
        {"1234.5678", false, 0x40934a456d5cfaad},
        // Straight to single precision, as a compiler rounds a literal: not
        // through double, which would round 16777217.000000001 to 16777217
        // and then to the even 16777216.
        {"16777217.000000001", true, 0x4b800001},
        {"16777217", true, 0x4b800000},
        {"0x1.8p1", false, 0x4008000000000000},
        {"-0x1P-2", true, 0xbe800000},
        {"1e-40", true, 0x000116c2},
        {"-0", false, 0x8000000000000000},
        {"-4e-7", true, 0xb4d6bf95},
        {".5", true, 0x3f000000},
        {"inf", true, 0x7f800000},
        {"-inf", false, 0xfff0000000000000},
    };
    for (const Read &c : cases) EXPECT_EQ(parse_value(c.text, c.single), c.bits) << c.text;
    // "nan" is a quiet NaN of the sign written, quiet by this target's own
    // convention: 0x7fc00000 on x86, 0x7fbfffff on legacy MIPS and hppa.
    for (const bool single : {true, false}) {
        for (const std::string_view text : {"nan", "-nan"}) {
            const uint64_t bits = parse_value(text, single);
            EXPECT_TRUE(is_nan(bits, single) && !is_signalling(bits, single)) << text << std::hex << " " << bits;
            EXPECT_EQ((bits & sign_bit(single)) != 0, text.starts_with("-")) << text << std::hex << " " << bits;
        }
    }
    EXPECT_EQ(parse_value("1" + std::string(300, '0') + "e-300", false), 0x3ff0000000000000u);
}

struct Refused {
    std::string text;
    bool single;
    std::string message;
};

std::string refusal(const Refused &c, uint64_t (*parse)(std::string_view, bool))
{
    try {
        return "took it as 0x" + hex_digits(parse(c.text, c.single), 16);
    } catch (const Failure &failure) {
        return failure.code == exit_usage ? failure.message : "exit " + std::to_string(failure.code);
    }
}

TEST(ValueText, RefusedWithTheReason)
{
    const std::string not_a_number = "' is not a number";
    const Refused cases[] = {
        // Only an optional "-", then inf, nan, a decimal number or 0x and a
        // hexadecimal one: from_chars alone takes more, and drops a payload.
        {"abc", true, "VALUE 'abc" + not_a_number},
        {"1.5x", true, "VALUE '1.5x" + not_a_number},
        {"+1", true, "VALUE '+1" + not_a_number},
        {" 1", true, "VALUE ' 1" + not_a_number},
        {"", true, "VALUE '" + not_a_number},
        {"-", true, "VALUE '-" + not_a_number},
        {"--1", true, "VALUE '--1" + not_a_number},
        {"-0x-1p1", false, "VALUE '-0x-1p1" + not_a_number},
        {"0x", false, "VALUE '0x" + not_a_number},
        {".", true, "VALUE '." + not_a_number},
        {"e5", true, "VALUE 'e5" + not_a_number},
        {"1e", true, "VALUE '1e" + not_a_number},
        {"0x1p", true, "VALUE '0x1p" + not_a_number},
        {"0x.p1", true, "VALUE '0x.p1" + not_a_number},
        {"1,5", true, "VALUE '1,5" + not_a_number},
        {"infinit", true, "VALUE 'infinit" + not_a_number},
        {"0xinf", true, "VALUE '0xinf" + not_a_number},
        {"-0Xinf", false, "VALUE '-0Xinf" + not_a_number},
        {"0xnan", true, "VALUE '0xnan" + not_a_number},
        {"infinity", false, "VALUE 'infinity" + not_a_number},
        {"-INFINITY", true, "VALUE '-INFINITY" + not_a_number},
        {"INF", true, "VALUE 'INF" + not_a_number},
        {"NaN", false, "VALUE 'NaN" + not_a_number},
        {"nan()", true, "VALUE 'nan()" + not_a_number},
        {"nan(123)", false, "VALUE 'nan(123)" + not_a_number},
        {"-nan(1)", true, "VALUE '-nan(1)" + not_a_number},
        // Rounded to infinity or to zero: the value cannot be sent.
        {"1e39", true, "VALUE '1e39' is out of range for single precision"},
        {"-3.5e38", true, "VALUE '-3.5e38' is out of range for single precision"},
        {"1e-50", true, "VALUE '1e-50' is out of range for single precision"},
        {"0x1p128", true, "VALUE '0x1p128' is out of range for single precision"},
        {"1e309", false, "VALUE '1e309' is out of range for double precision"},
        {"1e99999999999999999999", false, "VALUE '1e99999999999999999999' is out of range for double precision"},
        // A long value is quoted by its first 200 bytes and its length.
        {"-1" + std::string(194, '0') + "e400", false,
         "VALUE '-1" + std::string(194, '0') + "e400' is out of range for double precision"},
        {"-1" + std::string(400, '0'), false,
         "VALUE '-1" + std::string(198, '0') + "...' (402 bytes) is out of range for double precision"},
        {std::string(20000, '1'), false,
         "VALUE '" + std::string(200, '1') + "...' (20000 bytes) is out of range for double precision"},
        {"0." + std::string(20000, '0') + "1", true,
         "VALUE '0." + std::string(198, '0') + "...' (20003 bytes) is out of range for single precision"},
    };
    for (const Refused &c : cases) EXPECT_EQ(refusal(c, parse_value), c.message) << c.text.substr(0, 40);
}

TEST(ValueText, BitPatternsOfExactlyTheirWidth)
{
    EXPECT_EQ(parse_bits("3f800000", true, true), 0x3f800000u);
    EXPECT_EQ(parse_bits("0x4004000000000000", false, true), 0x4004000000000000u);
    EXPECT_EQ(parse_bits("BFF0000000000000", false, false), 0xbff0000000000000u);
    const std::string not8 = " is not a single precision bit pattern of 8 hexadecimal digits";
    const std::string not16 = " is not a double precision bit pattern of 16 hexadecimal digits";
    const Refused cases[] = {
        {"3f80000", true, "'3f80000'" + not8},
        {"3f80000g", true, "'3f80000g'" + not8},
        {"-3f80000", true, "'-3f80000'" + not8},
        {"+3f80000", true, "'+3f80000'" + not8},
        {"1.0", true, "'1.0'" + not8},
        {"3f800000", false, "'3f800000'" + not16},
        {"0x" + std::string(17, 'f'), false, "'0x" + std::string(17, 'f') + "'" + not16},
        {"0x0x00000000000000", false, "'0x0x00000000000000'" + not16},
    };
    for (const Refused &c : cases)
        EXPECT_EQ(refusal(c, [](std::string_view text, bool single) { return parse_bits(text, single, true); }),
                  c.message)
            << c.text;
    EXPECT_EQ(refusal({"0x3F800000", true, ""}, [](std::string_view text, bool single) {
                  return parse_bits(text, single, false);
              }),
              "'0x3F800000'" + not8 + " (a call list writes them without 0x)");
}

struct Decimal {
    uint64_t bits;
    bool single;
    std::string expected;
};

TEST(ExactDecimal, EveryDigitOfTheBinaryValue)
{
    const Decimal cases[] = {
        {0x3ff8000000000000, false, "1.5"},
        {0x8000000000000000, false, "-0"},
        {0x80000000, true, "-0"},
        {0x3fb999999999999a, false, "0.1000000000000000055511151231257827021181583404541015625"},
        {0x3dcccccd, true, "0.100000001490116119384765625"},
        {0x449a522b, true, "1234.5677490234375"},
        {0x4415af1d78b58c40, false, "100000000000000000000"},
        {0x444b1ae4d6e2ef50, false, "1e21"},
        {0x3ec0c6f7a0b5ed8d, false, "0.00000199999999999999990949622365177251737122787744738161563873291015625"},
        {0x3ea0c6f7a0b5ed8d, false, "4.999999999999999773740559129431293428069693618454039096832275390625e-7"},
        {0x7f7fffff, true, "3.4028234663852885981170418348451692544e38"},
        {0x7ff0000000000000, false, "inf"},
        {0xff800000, true, "-inf"},
    };
    for (const Decimal &c : cases) EXPECT_EQ(exact_decimal(c.bits, c.single), c.expected) << std::hex << c.bits;
    // A NaN is named by this target's convention: a clear quiet bit marks a
    // signalling NaN on most, a quiet one on legacy MIPS and hppa.
    const std::string clear = quiet_bit_marks_quiet() ? "signalling" : "quiet";
    const std::string set = quiet_bit_marks_quiet() ? "quiet" : "signalling";
    EXPECT_EQ(exact_decimal(0x7f800001, true), clear + " NaN, payload 0x1");
    EXPECT_EQ(exact_decimal(0xfff8000000000000, false), "-" + set + " NaN, payload 0x0");
    EXPECT_EQ(exact_decimal(0x7ff4000000000abc, false), clear + " NaN, payload 0x4000000000abc");
}

TEST(ExactDecimal, TheSmallestSubnormalInFull)
{
    const std::string text = exact_decimal(1, false);
    EXPECT_TRUE(text.starts_with("4.940656458412465441765687928682213723650598026143247644255856825")) << text;
    EXPECT_TRUE(text.ends_with("506419718265533447265625e-324")) << text;
    EXPECT_EQ(text.size(), 751 + 1 + 5); // its 751 significant digits, the point and "e-324"
}

} // namespace
