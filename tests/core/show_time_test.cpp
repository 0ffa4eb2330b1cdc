#include "core/show_time.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

namespace zentick {
namespace {

using test::local;

class ShowTime : public ::testing::Test, protected test::FakeDevices {
protected:
    ClockState state;
};

TEST_F(ShowTime, WritesTheZoneDateAndTimeAsTheMainWindowShowsThem)
{
    struct Case {
        const char* name;
        platform::LocalDateTime at;
        std::int16_t area;
        const char* date;
        const char* time;
    } const cases[] = {
        {"last minute of 2004 at home", local(2004, 12, 31, 23, 59, 30), 5, "Dec 31, Fri", "23:59"},
        {"Tonga already in the new year", local(2004, 12, 31, 20, 5), 0, "Jan 1, Sat", "0:05"},
        {"Hawaii still on the 31st of December", local(2005, 1, 1, 9, 0), 26, "Dec 31, Fri", "14:00"},
        {"single-digit hour and day", local(2026, 3, 1, 9, 7), 5, "Mar 1, Sun", "9:07"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.time = c.at;
        state.area = c.area;
        showTime(state, devices);
        EXPECT_EQ(face.dateText, c.date);
        EXPECT_EQ(face.timeText, c.time);
    }
}

TEST_F(ShowTime, EndsWithTheAlarmDecisionOnTheNewZoneTime)
{
    // Zone 0 with an alarm at 1:30 sounds when the local clock reads 21:30.
    state.area = 0;
    state.alarmTime = buildTime(1, 30, 0);
    clock.time = local(2026, 12, 8, 21, 29, 59);
    showTime(state, devices);
    EXPECT_EQ(beeper.beeps, 0);
    clock.time = local(2026, 12, 8, 21, 30, 0);
    showTime(state, devices);
    EXPECT_EQ(state.worldTime, state.alarmTime);
    EXPECT_EQ(beeper.beeps, 1);
}

TEST_F(ShowTime, AZoneChosenBetweenTwoTicksMovesNoAlarmIntoTheMinutesBetween)
{
    // Japan at 6:50, then Tonga, four hours ahead, 3 s later: its zone time
    // leaps past the 7:00 alarm, but no minute went by unseen.
    state.area = 5;
    state.alarmTime = buildTime(7, 0, 0);
    clock.time = local(2026, 12, 8, 6, 50, 0);
    EXPECT_EQ(showTime(state, devices), AlarmAction::None);
    state.area = 0;
    clock.time = local(2026, 12, 8, 6, 50, 3);
    EXPECT_EQ(showTime(state, devices), AlarmAction::None);
    EXPECT_EQ(face.timeText, "10:50");
    // And back from Tonga across its own 7:00 (10:50 to 6:50).
    state.area = 5;
    clock.time = local(2026, 12, 8, 6, 50, 6);
    EXPECT_EQ(showTime(state, devices), AlarmAction::None);
}

TEST_F(ShowTime, AZoneThatCannotBeComputedIsAFailureNotAWrongTime)
{
    state.area = 1000;
    face.timeText = "before";
    EXPECT_THROW(showTime(state, devices), ClockError);
    EXPECT_EQ(face.timeText, "before");
}

}  // namespace
}  // namespace zentick
