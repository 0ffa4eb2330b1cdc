#include "core/world_time.h"
#include "core/zone_table.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>

namespace zentick {
namespace {

using test::local;
using namespace std::chrono;

ZoneTime zoneTimeOf(const platform::LocalDateTime& at, std::int16_t area, std::int16_t summer)
{
    const auto result = computeWorldTime(at, area, summer);
    if (const auto* error = std::get_if<WorldTimeError>(&result)) {
        ADD_FAILURE() << "area " << area << " summer " << summer << ": " << describe(*error);
        return {};
    }
    return std::get<ZoneTime>(result);
}

TEST(WorldTime, ZoneDateAndTimeAtTheDayChanges)
{
    struct Case {
        const char* name;
        platform::LocalDateTime at;
        std::int16_t area;
        std::int16_t summer;
        year_month_day date;
        int hour;
        int minute;
    } const cases[] = {
        {"local zone at the last minute of a year", local(2004, 12, 31, 23, 59), 5, 0, 2004y / 12 / 31, 23, 59},
        {"Tonga just before its midnight", local(2026, 3, 10, 19, 59), 0, 0, 2026y / 3 / 10, 23, 59},
        {"Tonga at its midnight", local(2026, 3, 10, 20, 0), 0, 0, 2026y / 3 / 11, 0, 0},
        {"Tonga after its midnight", local(2026, 3, 10, 21, 30), 0, 0, 2026y / 3 / 11, 1, 30},
        {"Hawaii still on yesterday", local(2026, 3, 10, 18, 59), 26, 0, 2026y / 3 / 9, 23, 59},
        {"Hawaii reaching today", local(2026, 3, 10, 19, 0), 26, 0, 2026y / 3 / 10, 0, 0},
        {"India before its midnight", local(2026, 3, 10, 3, 29), 9, 0, 2026y / 3 / 9, 23, 59},
        {"India at its midnight", local(2026, 3, 10, 3, 30), 9, 0, 2026y / 3 / 10, 0, 0},
        {"India a quarter past", local(2026, 3, 10, 3, 45), 9, 0, 2026y / 3 / 10, 0, 15},
        {"Iran, half-hour minutes carry into the hour", local(2026, 3, 10, 12, 45), 12, 0, 2026y / 3 / 10, 7, 15},
        {"Australia Central in summer reaches tomorrow", local(2026, 3, 10, 22, 30), 4, 1, 2026y / 3 / 11, 0, 0},
        {"Australia Central without summer", local(2026, 3, 10, 23, 29), 4, 0, 2026y / 3 / 10, 23, 59},
        {"Australia Central, minute carry past midnight", local(2026, 3, 10, 23, 45), 4, 0, 2026y / 3 / 11, 0, 15},
        {"local zone in summer reaches tomorrow at 23:00", local(2026, 3, 10, 23, 0), 5, 1, 2026y / 3 / 11, 0, 0},
        {"local zone in summer at 22:59", local(2026, 3, 10, 22, 59), 5, 1, 2026y / 3 / 10, 23, 59},
        {"China in summer is the local time", local(2026, 3, 10, 0, 0), 6, 1, 2026y / 3 / 10, 0, 0},
        {"summer value 2 counts as off", local(2026, 3, 10, 23, 0), 5, 2, 2026y / 3 / 10, 23, 0},
        {"New Year ahead of the local clock", local(2025, 12, 31, 20, 0), 0, 0, 2026y / 1 / 1, 0, 0},
        {"New Year still behind the local clock", local(2026, 1, 1, 5, 0), 21, 0, 2025y / 12 / 31, 15, 0},
        {"month end forward into a leap day", local(2024, 2, 28, 21, 0), 1, 0, 2024y / 2 / 29, 0, 0},
        {"leap day back to the 28th", local(2024, 3, 1, 1, 0), 15, 0, 2024y / 2 / 29, 17, 0},
        {"no leap day in 2100", local(2100, 3, 1, 1, 0), 15, 0, 2100y / 2 / 28, 17, 0},
        {"hand-edited zone -1 is five hours ahead", local(2026, 3, 10, 19, 0), -1, 0, 2026y / 3 / 11, 0, 0},
        {"widest supported zone ahead, in summer", local(2026, 3, 10, 0, 0), -19, 1, 2026y / 3 / 11, 0, 0},
        {"widest supported zone behind", local(2026, 3, 10, 23, 59), 31, 0, 2026y / 3 / 9, 23, 59},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto zone = zoneTimeOf(c.at, c.area, c.summer);
        EXPECT_EQ(civilDateOf(zone.date), c.date);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(zone.time), std::bit_cast<std::uint64_t>(buildTime(c.hour, c.minute, 0)));
    }
}

TEST(WorldTime, EveryZoneGivesAWholeMinuteOfOneDayAndMovesTheDateByAtMostADay)
{
    const DateValue localDate = dateValueOf(2026y / 12 / 8);
    for (std::int16_t area = kMinSupportedArea; area <= kMaxSupportedArea; ++area) {
        for (const std::int16_t summer : {std::int16_t{0}, std::int16_t{1}}) {
            for (int minuteOfDay = 0; minuteOfDay < 1440; ++minuteOfDay) {
                const auto zone = zoneTimeOf(local(2026, 12, 8, minuteOfDay / 60, minuteOfDay % 60, 59), area, summer);
                ASSERT_GE(zone.time, 0.0);
                ASSERT_LT(zone.time, 1.0);
                const auto seconds = secondsOfDay(zone.time);
                ASSERT_EQ(seconds % 60, 0);
                ASSERT_EQ(zone.time, buildTime(0, 0, seconds)) << "not bit-equal to the alarm time of that minute";
                ASSERT_LE(std::abs(zone.date - localDate), 1.0);
                // The zone's date and time together run exactly the offset ahead of the local clock.
                const auto offset = *zoneOffset(area, summer);
                const auto zoneMinutes = static_cast<std::int64_t>(zone.date - localDate) * 1440 + seconds / 60;
                ASSERT_EQ(zoneMinutes - minuteOfDay, offset.hours * 60 + offset.extraMinutes)
                    << "area " << area << " summer " << summer << " minute " << minuteOfDay;
            }
        }
    }
}

// Exhaustive: the supported range is exactly the zones that never fail.
TEST(WorldTime, SupportedZonesAreExactlyThoseThatWorkAtEveryMinute)
{
    for (int area = INT16_MIN; area <= INT16_MAX; ++area) {
        bool worksEverywhere = true;
        for (const std::int16_t summer : {std::int16_t{0}, std::int16_t{1}}) {
            for (int minuteOfDay = 0; minuteOfDay < 1440 && worksEverywhere; ++minuteOfDay) {
                const auto result = computeWorldTime(local(2026, 6, 15, minuteOfDay / 60, minuteOfDay % 60),
                                                     static_cast<std::int16_t>(area), summer);
                worksEverywhere = std::holds_alternative<ZoneTime>(result);
            }
        }
        ASSERT_EQ(worksEverywhere, isSupportedArea(static_cast<std::int16_t>(area))) << "area " << area;
    }
}

TEST(WorldTime, FailuresAreReportedNotComputed)
{
    struct Case {
        const char* name;
        platform::LocalDateTime at;
        std::int16_t area;
        std::int16_t summer;
        WorldTimeError error;
    } const cases[] = {
        {"offset 4 - area overflows", local(2026, 1, 1, 12, 0), INT16_MIN, 0, WorldTimeError::Overflow},
        {"summer hour on the largest offset overflows", local(2026, 1, 1, 12, 0), -32763, 1, WorldTimeError::Overflow},
        {"threshold below midnight", local(2026, 1, 1, 12, 0), -20, 1, WorldTimeError::NegativeTime},
        {"zone hour still negative after a day", local(2026, 1, 1, 0, 0), 32, 0, WorldTimeError::NegativeTime},
        {"date before year 100", local(100, 1, 1, 0, 0), 26, 0, WorldTimeError::DateOutOfRange},
        {"date after year 9999", local(9999, 12, 31, 23, 0), 0, 0, WorldTimeError::DateOutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = computeWorldTime(c.at, c.area, c.summer);
        ASSERT_TRUE(std::holds_alternative<WorldTimeError>(result));
        EXPECT_EQ(std::get<WorldTimeError>(result), c.error);
        EXPECT_FALSE(describe(c.error).empty());
    }
}

TEST(ZoneTable, LabelsAndOffsetsFollowTheListFromTongaToHawaii)
{
    std::set<std::string_view> labels(kZoneLabels.begin(), kZoneLabels.end());
    EXPECT_EQ(labels.size(), 27u);
    EXPECT_EQ(kZoneLabels[5], "日本,韓国,北朝鮮");

    // Walking down the list, each zone is 30 or 60 minutes behind the one
    // before; the half hours are exactly Australia Central, India and Iran.
    std::vector<int> halfHourZones;
    int previous = 5 * 60;
    for (std::int16_t area = 0; area < kZoneCount; ++area) {
        const auto offset = *zoneOffset(area, 0);
        const int minutes = offset.hours * 60 + offset.extraMinutes;
        if (offset.extraMinutes != 0)
            halfHourZones.push_back(area);
        EXPECT_TRUE(previous - minutes == 30 || previous - minutes == 60) << "area " << area;
        previous = minutes;
        const auto summer = *zoneOffset(area, 1);
        EXPECT_EQ(summer.hours, offset.hours + 1);
        EXPECT_EQ(summer.extraMinutes, offset.extraMinutes);
    }
    EXPECT_EQ(halfHourZones, (std::vector<int>{4, 9, 12}));
    EXPECT_EQ(zoneOffset(0, 0)->hours, 4);
    EXPECT_EQ(zoneOffset(5, 0)->hours, 0);
    EXPECT_EQ(zoneOffset(26, 0)->hours, -19);
}

}  // namespace
}  // namespace zentick
