#include "settings/ini_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <sstream>

namespace zentick::settings {
namespace {

std::uint64_t bits(DateValue value)
{
    return std::bit_cast<std::uint64_t>(value);
}

TEST(IniFormat, WritesOneLineWithCrLf)
{
    ClockState defaults;
    applyDefaultSettings(defaults);
    EXPECT_EQ(formatIniLine(defaults), "5,0,#07:00:00#,2\r\n");
    EXPECT_EQ(formatIniLine(defaults).size(), 18u);

    ClockState edited{12, 1, buildTime(6, 30, 0), 0, 0.5, 1};
    EXPECT_EQ(formatIniLine(edited), "12,1,#06:30:00#,0\r\n");
    ClockState negative{-1, -7, buildTime(23, 59, 0), -32768, 0, 0};
    EXPECT_EQ(formatIniLine(negative), "-1,-7,#23:59:00#,-32768\r\n");
}

TEST(IniFormat, EveryMinuteIsWrittenRoundedAndReadsBackBitForBit)
{
    int minutesTruncationWouldBreak = 0;
    for (int minuteOfDay = 0; minuteOfDay < 1440; ++minuteOfDay) {
        const int h = minuteOfDay / 60;
        const int m = minuteOfDay % 60;
        const DateValue value = buildTime(h, m, 0);
        char expected[32];  // room for any two ints, so the compiler sees no truncation
        std::snprintf(expected, sizeof expected, "#%02d:%02d:00#", h, m);
        ASSERT_EQ(formatDateItem(value), expected);
        const auto back = parseDateItem(expected);
        ASSERT_TRUE(back.has_value()) << expected;
        ASSERT_EQ(bits(*back), bits(value)) << expected;
        if (static_cast<long long>(value * 86400) != minuteOfDay * 60LL)
            ++minutesTruncationWouldBreak;
    }
    // The rounding is what keeps those minutes right.
    EXPECT_EQ(minutesTruncationWouldBreak, 82);
}

TEST(IniFormat, DateItemsInAllThreeForms)
{
    using namespace std::chrono;
    struct Case {
        const char* item;
        DateValue value;
    } const cases[] = {
        {"#00:00:00#", 0},
        {"#1899-12-30#", 0},
        {"#2004-12-31#", 38352},
        {"#2004-12-31 06:00:00#", 38352.25},
        {"#1899-12-29 06:00:00#", -1.25},  // before the epoch the time still counts forward
        {"#23:59:59#", buildTime(23, 59, 59)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const auto read = parseDateItem(c.item);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(bits(*read), bits(c.value));
        if (c.value != 0) {
            EXPECT_EQ(formatDateItem(c.value), c.item);
        }
    }
    EXPECT_EQ(formatDateItem(0), "#00:00:00#");
    EXPECT_EQ(formatDateItem(0.999999999), "#1899-12-31#");  // rounds up into the next day
    EXPECT_EQ(*parseDateItem("#7:05#"), buildTime(7, 5, 0));
    EXPECT_EQ(*parseDateItem("# 07:05:00 #"), buildTime(7, 5, 0));

    for (const char* bad : {"07:00:00", "#07:00:00", "##", "#24:00:00#", "#07:60:00#", "#07:00:60#", "#7#",
                            "#2023-02-29#", "#0099-12-31#", "#2004-13-01#", "#abc#", "#07:00:00x#", "#-1:00:00#",
                            "#2004-12-31 25:00:00#"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseDateItem(bad).has_value());
    }
}

struct ReadCase {
    const char* name;
    std::string content;
    ClockState expected;
    bool fails;
};

ClockState settingsOf(std::int16_t area, std::int16_t summer, DateValue alarm, std::int16_t buzzer)
{
    return ClockState{area, summer, alarm, buzzer, 0, 0};
}

TEST(IniFormat, ReadsValueByValueAndStopsAtTheFirstBadOne)
{
    const DateValue seven = buildTime(7, 0, 0);
    const DateValue sixThirty = buildTime(6, 30, 0);
    const ReadCase cases[] = {
        {"the default line", "5,0,#07:00:00#,2\r\n", settingsOf(5, 0, seven, 2), false},
        {"an edited line", "12,1,#06:30:00#,0\r\n", settingsOf(12, 1, sixThirty, 0), false},
        {"values on four lines", "12\r\n1\r\n#06:30:00#\r\n0\r\n", settingsOf(12, 1, sixThirty, 0), false},
        {"LF and CR line ends", "12\n1\r#06:30:00#\n0", settingsOf(12, 1, sixThirty, 0), false},
        {"blanks around values", "  12 ,\t1,  #06:30:00# , 0 \r\n", settingsOf(12, 1, sixThirty, 0), false},
        {"no line end after the last value", "12,1,#06:30:00#,0", settingsOf(12, 1, sixThirty, 0), false},
        {"letters read as 0", "abc,1,#06:30:00#,0\r\n", settingsOf(0, 1, sixThirty, 0), false},
        {"empty positions", ",,,\r\n", settingsOf(0, 0, 0, 0), false},
        {"what follows the fourth value is not read", "1,1,#06:30:00#,1,garbage\r\n99999\r\n",
         settingsOf(1, 1, sixThirty, 1), false},
        {"a date as alarm is taken unchanged", "5,0,#2004-12-31 06:30:00#,2", settingsOf(5, 0, 38352 + sixThirty, 2),
         false},
        {"midnight written as the epoch date", "5,0,#1899-12-30#,2", settingsOf(5, 0, 0, 2), false},
        {"hand-edited values the rules still define", "-1,2,#06:30:00#,5", settingsOf(-1, 2, sixThirty, 5), false},
        {"the edges of the supported zones", "31,1,#06:30:00#,0", settingsOf(31, 1, sixThirty, 0), false},
        {"empty file", "", settingsOf(0, 0, 0, 0), true},
        {"only three values", "12,1,#06:30:00#\r\n", settingsOf(12, 1, sixThirty, 0), true},
        {"ends after a comma", "12,1,#06:30:00#,", settingsOf(12, 1, sixThirty, 0), true},
        {"summer overflows sixteen bits", "12,40000,#06:30:00#,0", settingsOf(12, 0, 0, 0), true},
        {"sound overflows sixteen bits", "12,1,#06:30:00#,-32769", settingsOf(12, 1, sixThirty, 0), true},
        {"a zone the clock cannot compute", "32,1,#06:30:00#,0", settingsOf(0, 0, 0, 0), true},
        {"a zone far below the table", "-20,0,#06:30:00#,0", settingsOf(0, 0, 0, 0), true},
        {"an alarm that is no date item", "12,1,06:30,0", settingsOf(12, 1, 0, 0), true},
        {"an alarm hour out of range", "12,1,#25:00:00#,0", settingsOf(12, 1, 0, 0), true},
        // Longer than any setting: refused, never read as its first part.
        {"a zone of 256 zeros and a 7", std::string(256, '0') + "7,0,#06:30:00#,0", settingsOf(0, 0, 0, 0), true},
        {"a sound of 1, 255 blanks and 2", "12,1,#06:30:00#,1" + std::string(255, ' ') + "2",
         settingsOf(12, 1, sixThirty, 0), true},
        {"a value of 256 characters is still read", std::string(255, '0') + "7,0,#06:30:00#,0",
         settingsOf(7, 0, sixThirty, 0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClockState state;
        std::istringstream in(c.content);
        const auto failure = readIniValues(in, state);
        EXPECT_EQ(failure.has_value(), c.fails) << failure.value_or("");
        EXPECT_EQ(state.area, c.expected.area);
        EXPECT_EQ(state.summer, c.expected.summer);
        EXPECT_EQ(bits(state.alarmTime), bits(c.expected.alarmTime));
        EXPECT_EQ(state.buzzer, c.expected.buzzer);
    }
}

TEST(IniFormat, FailuresSayWhatWasWrong)
{
    struct Case {
        std::string content;
        const char* mentions;
    } const cases[] = {
        {"", "ファイルの終わり"},
        {"99999,0,#07:00:00#,2", "「99999」"},
        {"40,0,#07:00:00#,2", "地域"},
        {"5,0,#7#,2", "「#7#」"},
        {"5,0,#07:00:00#,1" + std::string(255, ' ') + "2", "アラームの種類の値が長すぎます"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        ClockState state;
        std::istringstream in(c.content);
        const auto failure = readIniValues(in, state);
        ASSERT_TRUE(failure.has_value());
        EXPECT_NE(failure->find(c.mentions), std::string::npos) << *failure;
    }
}

TEST(IniFormat, AHugeValueIsReadWithoutHoldingItAll)
{
    std::string content(10'000'000, '7');
    content += ",0,#07:00:00#,2";
    ClockState state;
    std::istringstream in(content);
    const auto failure = readIniValues(in, state);
    ASSERT_TRUE(failure.has_value());  // far beyond sixteen bits
    EXPECT_LT(failure->size(), 1000u);
}

}  // namespace
}  // namespace zentick::settings
