// The exact decimals that quellot-call --check shows for a call's value:
// every digit of the binary value, in plain notation where it stays short.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "values.h"

namespace {

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
        {0x7f800001, true, "signalling NaN, payload 0x1"},
        {0xfff8000000000000, false, "-quiet NaN, payload 0x0"},
        {0x7ff4000000000abc, false, "signalling NaN, payload 0x4000000000abc"},
    };
    for (const Decimal &c : cases) EXPECT_EQ(exact_decimal(c.bits, c.single), c.expected) << std::hex << c.bits;
}

TEST(ExactDecimal, TheSmallestSubnormalInFull)
{
    const std::string text = exact_decimal(1, false);
    EXPECT_TRUE(text.starts_with("4.940656458412465441765687928682213723650598026143247644255856825")) << text;
    EXPECT_TRUE(text.ends_with("506419718265533447265625e-324")) << text;
    EXPECT_EQ(text.size(), 751 + 1 + 5); // its 751 significant digits, the point and "e-324"
}

} // namespace
