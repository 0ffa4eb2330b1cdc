// The clock run for 400 simulated days of 3-second ticks, and the local
// clock jumping about, through the real showTime and ringAlarm.

#include "core/show_time.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

namespace zentick {
namespace {

using namespace std::chrono;
using test::local;

platform::LocalDateTime at(sys_seconds time)
{
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count())};
}

class MidiCounter final : public ClockFace {
public:
    std::string dateText;
    std::string timeText;
    int windows = 0;
    void setDateText(std::string_view text) override { dateText = text; }
    void setTimeText(std::string_view text) override { timeText = text; }
    bool alarmChecked() const override { return true; }
    std::optional<std::string> showMidiAlarm() override
    {
        ++windows;
        return std::nullopt;
    }
};

struct LongRun {
    const char* name;
    std::int16_t buzzer;
    bool rearmDaily;  // the user clicks the alarm box at every local midnight
    long long beeps;
    int windows;
};

// Zone 9 runs 3:30 behind the local clock: its 7:00 alarm is local 10:30 and
// its midnight local 3:30. The run starts at local midnight, 2026-01-01, and
// lasts 400 days: 400 alarm minutes of 20 ticks, 400 zone midnights.
constexpr int kDays = 400;
constexpr long long kBurst = kBurstBeeps;
// A burst on every tick from the alarm to the zone's midnight (17 hours),
// except the last day, cut off by the end of the run at local midnight.
constexpr long long kBurstsUnrearmed = (kDays - 1) * 17LL * 1200 + 13LL * 1200 + 600;
// Re-armed at local midnight (zone 20:30): bursts from 7:00 to 20:30 only.
constexpr long long kBurstsRearmed = kDays * 13LL * 1200 + kDays * 600;

class ClockLongRun : public ::testing::TestWithParam<LongRun> {};

TEST_P(ClockLongRun, SoundsExactlyAsOftenAsTheRulesSay)
{
    const LongRun& run = GetParam();
    test::FakeClock clock;
    test::CountingBeeper beeper;
    test::RecordingMessageBox messages;
    MidiCounter face;
    const ClockDevices devices{clock, beeper, messages, face};
    ClockState state{9, 0, buildTime(7, 0, 0), run.buzzer, 0, 0};

    const sys_seconds start = sys_days{2026y / 1 / 1};
    const sys_seconds end = start + days{kDays};
    int dateChanges = 0;
    std::string previousDate;
    for (sys_seconds now = start; now < end; now += seconds{3}) {
        clock.time = at(now);
        if (run.rearmDaily && clock.time.hour == 0 && clock.time.minute == 0 && clock.time.second == 0)
            state.alarmDone = 0;
        const std::string previousTime = face.timeText;
        showTime(state, devices);
        ASSERT_GE(state.worldTime, 0.0);
        ASSERT_LT(state.worldTime, 1.0);
        ASSERT_TRUE(state.alarmDone == 0 || state.alarmDone == 1);
        if (face.dateText != previousDate && !previousDate.empty()) {
            // The zone date moves only at the zone's midnight, by one day.
            ASSERT_EQ(face.timeText, "0:00") << face.dateText;
            ASSERT_EQ(previousTime, "23:59");
            ++dateChanges;
        }
        previousDate = face.dateText;
    }
    EXPECT_EQ(beeper.beeps, run.beeps);
    EXPECT_EQ(face.windows, run.windows);
    EXPECT_EQ(dateChanges, kDays);
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    FourHundredDays, ClockLongRun,
    ::testing::Values(LongRun{"single beep, never re-armed", 0, false, 1, 0},
                      LongRun{"single beep, re-armed daily", 0, true, kDays, 0},
                      LongRun{"burst, never re-armed", 1, false, kBurstsUnrearmed * kBurst, 0},
                      LongRun{"burst, re-armed daily", 1, true, kBurstsRearmed * kBurst, 0},
                      LongRun{"tune, never re-armed", 2, false, 0, 1},
                      LongRun{"tune, re-armed daily", 2, true, 0, kDays}),
    [](const auto& test) {
        std::string name = test.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        }
        return name;
    });

TEST(ClockJumps, TheLocalClockJumpingAboutSoundsAtTheAlarmMinuteOrLateAtMostOnce)
{
    struct Case {
        const char* name;
        std::int16_t buzzer;
        std::vector<platform::LocalDateTime> ticks;
        long long beeps;
        int windows;
        const char* lastDate;
        int missed = 0;  // runs that found the alarm too late to sound
        DateValue alarm = buildTime(7, 0, 0);
    } const cases[] = {
        {"forward over the alarm minute: the beep comes late", 0,
         {local(2026, 12, 8, 6, 59, 55), local(2026, 12, 8, 7, 1, 30)}, 1, 0, "Dec 8, Tue"},
        {"forward over the alarm minute: the burst comes late and goes on", 1,
         {local(2026, 12, 8, 6, 59, 55), local(2026, 12, 8, 7, 1, 30), local(2026, 12, 8, 7, 1, 33)}, 2 * kBurst, 0,
         "Dec 8, Tue"},
        {"asleep 2 minutes across the alarm: the tune", 2, {local(2026, 12, 8, 6, 59, 50), local(2026, 12, 8, 7, 2)},
         0, 1, "Dec 8, Tue"},
        {"woken exactly 5 minutes late: the beep", 0, {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 5)}, 1, 0,
         "Dec 8, Tue"},
        {"woken 6 minutes late: told, not beeped", 0, {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 6)}, 0, 0,
         "Dec 8, Tue", 1},
        {"woken exactly 5 minutes late: the tune", 2, {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 5)}, 0, 1,
         "Dec 8, Tue"},
        {"woken 6 minutes late: told, no tune", 2, {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 6)}, 0, 0,
         "Dec 8, Tue", 1},
        {"woken exactly 5 minutes late: the burst", 1, {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 5)},
         kBurst, 0, "Dec 8, Tue"},
        // Missed means silent: no burst for the rest of that day, and the
        // next day's alarm minute bursts again.
        {"woken 6 minutes late: told, and no burst after", 1,
         {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 6), local(2026, 12, 8, 7, 6, 3),
          local(2026, 12, 8, 23, 59, 57)},
         0, 0, "Dec 8, Tue", 1},
        {"a burst missed bursts at the next day's minute", 1,
         {local(2026, 12, 8, 6, 59, 57), local(2026, 12, 8, 7, 6), local(2026, 12, 9, 7, 0)}, kBurst, 0,
         "Dec 9, Wed", 1},
        {"asleep 40 minutes: told once", 0,
         {local(2026, 12, 8, 6, 50), local(2026, 12, 8, 7, 30), local(2026, 12, 8, 7, 30, 3)}, 0, 0, "Dec 8, Tue", 1},
        {"asleep two days: told once, not once a day", 2,
         {local(2026, 12, 8, 6, 50), local(2026, 12, 10, 7, 30), local(2026, 12, 10, 7, 30, 3)}, 0, 0, "Dec 10, Thu",
         1},
        {"across midnight, 4 minutes after the alarm: the beep", 0,
         {local(2026, 12, 8, 23, 50), local(2026, 12, 9, 0, 2)}, 1, 0, "Dec 9, Wed", 0, buildTime(23, 58, 0)},
        {"across midnight, 7 minutes after the alarm: told", 0, {local(2026, 12, 8, 23, 50), local(2026, 12, 9, 0, 5)},
         0, 0, "Dec 9, Wed", 1, buildTime(23, 58, 0)},
        {"a gap that ends in the alarm minute is on time", 0, {local(2026, 12, 8, 6, 50), local(2026, 12, 8, 7, 0, 40)},
         1, 0, "Dec 8, Tue"},
        {"a gap after the alarm minute was seen: nothing more", 0,
         {local(2026, 12, 8, 7, 0), local(2026, 12, 8, 7, 40)}, 1, 0, "Dec 8, Tue"},
        {"back across the alarm minute: one beep only", 0,
         {local(2026, 12, 8, 7, 0), local(2026, 12, 8, 6, 59), local(2026, 12, 8, 7, 0, 30)}, 1, 0, "Dec 8, Tue"},
        {"back across the alarm after a late beep: no second", 0,
         {local(2026, 12, 8, 6, 59, 55), local(2026, 12, 8, 7, 2), local(2026, 12, 8, 6, 58), local(2026, 12, 8, 7, 0)},
         1, 0, "Dec 8, Tue"},
        {"back across the alarm after a late tune: no second", 2,
         {local(2026, 12, 8, 6, 59, 55), local(2026, 12, 8, 7, 2), local(2026, 12, 8, 6, 58), local(2026, 12, 8, 7, 0)},
         0, 1, "Dec 8, Tue"},
        {"back before the alarm silences the burst until the minute comes again", 1,
         {local(2026, 12, 8, 7, 0), local(2026, 12, 8, 6, 59), local(2026, 12, 8, 7, 0, 30)}, 2 * kBurst, 0,
         "Dec 8, Tue"},
        {"a day back to the alarm minute plays no second tune", 2,
         {local(2026, 12, 8, 7, 0), local(2026, 12, 7, 7, 0)}, 0, 1, "Dec 7, Mon"},
        {"bursts end at midnight", 1,
         {local(2026, 12, 8, 7, 0), local(2026, 12, 8, 23, 59, 57), local(2026, 12, 9, 0, 0)}, 2 * kBurst, 0,
         "Dec 9, Wed"},
        {"back across a month end", 0, {local(2026, 3, 1, 0, 0), local(2026, 2, 28, 23, 59)}, 0, 0, "Feb 28, Sat"},
        {"into a new year", 0, {local(2026, 12, 31, 23, 59, 57), local(2027, 1, 1, 0, 0)}, 0, 0, "Jan 1, Fri"},
        {"onto a leap day", 0, {local(2028, 2, 28, 23, 59), local(2028, 2, 29, 0, 0)}, 0, 0, "Feb 29, Tue"},
        {"off a leap day", 0, {local(2028, 2, 29, 23, 59), local(2028, 3, 1, 0, 0)}, 0, 0, "Mar 1, Wed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeClock clock;
        test::CountingBeeper beeper;
        test::RecordingMessageBox messages;
        MidiCounter face;
        ClockState state{5, 0, c.alarm, c.buzzer, 0, 0};
        int missed = 0;
        for (const auto& tick : c.ticks) {
            clock.time = tick;
            if (showTime(state, {clock, beeper, messages, face}) == AlarmAction::Missed)
                ++missed;
        }
        EXPECT_EQ(beeper.beeps, c.beeps);
        EXPECT_EQ(face.windows, c.windows);
        EXPECT_EQ(face.dateText, c.lastDate);
        EXPECT_EQ(missed, c.missed);
        EXPECT_TRUE(messages.shown.empty());
    }
}

}  // namespace
}  // namespace zentick
