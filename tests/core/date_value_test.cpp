#include "core/date_value.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace zentick {
namespace {

std::uint64_t bits(DateValue value)
{
    return std::bit_cast<std::uint64_t>(value);
}

TEST(TimeBuildingRule, EveryMinuteOfTheDayIsTheSameValueHoweverItsSecondsAreSplit)
{
    for (int minuteOfDay = 0; minuteOfDay < 1440; ++minuteOfDay) {
        const int h = minuteOfDay / 60;
        const int m = minuteOfDay % 60;
        SCOPED_TRACE(::testing::Message() << h << ":" << m);
        const auto expected = bits(buildTime(h, m, 0));
        EXPECT_EQ(bits(buildTime(0, minuteOfDay, 0)), expected);
        EXPECT_EQ(bits(buildTime(0, 0, minuteOfDay * 60)), expected);
        EXPECT_EQ(bits(buildTime(h + 1, m - 60, 0)), expected);  // a negative part that carries back
        EXPECT_EQ(secondsOfDay(buildTime(h, m, 0)), minuteOfDay * 60);
    }
}

TEST(TimeBuildingRule, PartsOutsideTheirRangeCarry)
{
    struct Case {
        const char* name;
        int h, m, s;
        int sameAsH, sameAsM, sameAsS;
    } const cases[] = {
        {"23 hours 75 minutes is a day and 15 minutes", 23, 75, 0, 24, 15, 0},
        {"4 hours minus 30 minutes is 3:30", 4, -30, 0, 3, 30, 0},
        {"seconds carry into minutes and hours", 0, 0, 3600 + 61, 1, 1, 1},
        {"minus hours balanced by minutes", -1, 90, 0, 0, 30, 0},
        {"an hour offset of minus 4 with 30 extra minutes", -4, -30, 0 + 5 * 3600, 0, 30, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bits(buildTime(c.h, c.m, c.s)), bits(buildTime(c.sameAsH, c.sameAsM, c.sameAsS)));
    }
    EXPECT_EQ(buildTime(24, 0, 0), 1.0);
    EXPECT_EQ(buildTime(6, 0, 0), 0.25);
}

TEST(DateValue, CalendarDatesConvertBothWays)
{
    using namespace std::chrono;
    struct Case {
        year_month_day date;
        double value;
    } const cases[] = {
        {1899y / December / 30, 0},
        {1899y / December / 29, -1},
        {1900y / January / 1, 2},
        {2004y / December / 31, 38352},
        {2024y / February / 29, 45351},
        {100y / January / 1, -657434},
        {9999y / December / 31, 2958465},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(dateValueOf(c.date), c.value);
        EXPECT_EQ(civilDateOf(c.value), c.date);
    }
    EXPECT_TRUE(isRepresentableDate(100y / January / 1));
    EXPECT_FALSE(isRepresentableDate(99y / December / 31));
    EXPECT_FALSE(isRepresentableDate(10000y / January / 1));
}

}  // namespace
}  // namespace zentick
