#include "core/number_rule.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zentick {
namespace {

TEST(NumberRule, ReadsTheLeadingNumberOfWhatWasTyped)
{
    struct Case {
        std::string text;
        double value;
    } const cases[] = {
        {"", 0},
        {"abc", 0},
        {"7", 7},
        {"7時", 7},
        {"1 5", 15},  // blanks anywhere are dropped
        {" \t1\n5 ", 15},
        {"&H17", 23},
        {"&h1f", 31},
        {"&O17", 15},
        {"&o8", 0},  // 8 is no octal digit
        {"&H", 0},
        {"&X12", 0},
        {"22.5", 22.5},
        {"-1", -1},
        {"+3", 3},
        {".5", 0.5},
        {"5.", 5},
        {"1.2.3", 1.2},  // one full stop only
        {"1,5", 1},      // a comma is never a decimal point
        {"1e2", 100},
        {"1D2", 100},
        {"2e", 2},   // an exponent needs digits
        {"2e+", 2},
        {"-", 0},
        {".", 0},
        {"１５", 15},  // full-width digits as typed with a Japanese input method
        {"－３", -3},
        // Full-width letters too: typed with the input method left on, they
        // read as they look, not as a number cut short.
        {"＆Ｈ１７", 23},
        {"＆ｈｆｆ", 255},
        {"１ｅ２", 100},
        {"＋１．５", 1.5},
        {"\xEF\x41\x41", 0},  // a broken sequence is no full-width form
        {"1\u30005", 15},  // the ideographic space is a blank too
        {"1e-999", 0},
        {"0." + std::string(400, '0') + "1", 0},  // too small for a double without an exponent
        {"0.00000000000000000001" + std::string(400, '0') + "e-400", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readNumber(c.text), c.value);
    }
    EXPECT_TRUE(std::isinf(readNumber("1e999")));
    EXPECT_TRUE(std::isinf(readNumber("1" + std::string(400, '0'))));
    EXPECT_TRUE(std::isinf(readNumber("0.0001e400")));
    EXPECT_LT(readNumber("-1e999"), 0);
}

TEST(NumberRule, RoundsHalfToEvenWithinSixteenBits)
{
    struct Case {
        double value;
        std::optional<std::int16_t> rounded;
    } const cases[] = {
        {0.5, 0},        {1.5, 2},         {22.5, 22},       {23.5, 24},           {59.4, 59},
        {-0.5, 0},       {-1.5, -2},       {2.5000001, 3},   {32767.4, 32767},     {32767.5, std::nullopt},
        {-32768.5, -32768}, {-32768.6, std::nullopt}, {123456, std::nullopt}, {HUGE_VAL, std::nullopt},
        {NAN, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundToInt16(c.value), c.rounded);
    }
}

}  // namespace
}  // namespace zentick
