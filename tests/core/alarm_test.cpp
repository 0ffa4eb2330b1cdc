#include "core/alarm.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zentick {
namespace {

using platform::MessageIcon;

ClockState stateAt(int worldHour, int worldMinute, std::int16_t buzzer, std::int16_t alarmDone)
{
    ClockState state;
    state.alarmTime = buildTime(7, 0, 0);
    state.worldTime = buildTime(worldHour, worldMinute, 0);
    state.buzzer = buzzer;
    state.alarmDone = alarmDone;
    return state;
}

TEST(AlarmDecision, SoundsByModeAndWhetherItHasSounded)
{
    struct Case {
        const char* name;
        bool checked;
        int hour, minute;
        std::int16_t buzzer, done;
        AlarmAction action;
    } const cases[] = {
        {"box off silences everything", false, 7, 0, 1, 1, AlarmAction::None},
        {"single beep at the alarm minute", true, 7, 0, 0, 0, AlarmAction::Beep},
        {"single beep only once", true, 7, 0, 0, 1, AlarmAction::None},
        {"burst at the alarm minute", true, 7, 0, 1, 0, AlarmAction::Burst},
        {"burst again on every tick of the minute", true, 7, 0, 1, 1, AlarmAction::Burst},
        {"burst goes on after the minute", true, 7, 1, 1, 1, AlarmAction::Burst},
        {"burst goes on until the zone's day ends", true, 23, 59, 1, 1, AlarmAction::Burst},
        {"a new day is before the alarm: silent", true, 0, 0, 1, 1, AlarmAction::None},
        {"re-armed after the minute: silent", true, 7, 1, 1, 0, AlarmAction::None},
        {"before the alarm", true, 6, 59, 1, 1, AlarmAction::None},
        {"MIDI at the alarm minute", true, 7, 0, 2, 0, AlarmAction::ShowMidi},
        {"MIDI only once", true, 7, 0, 2, 1, AlarmAction::None},
        {"any other sound value is MIDI", true, 7, 0, 5, 0, AlarmAction::ShowMidi},
        {"negative sound value is MIDI too", true, 7, 0, -1, 0, AlarmAction::ShowMidi},
        {"single beep never repeats after the minute", true, 7, 1, 0, 1, AlarmAction::None},
        {"MIDI never repeats after the minute", true, 8, 0, 2, 1, AlarmAction::None},
        {"a missed burst stays silent for the rest of the day", true, 7, 41, 1, kAlarmMissed, AlarmAction::None},
        {"a missed burst sounds again at its next minute", true, 7, 0, 1, kAlarmMissed, AlarmAction::Burst},
        {"a missed beep waits to be re-armed", true, 7, 0, 0, kAlarmMissed, AlarmAction::None},
        {"a missed tune waits to be re-armed", true, 7, 0, 2, kAlarmMissed, AlarmAction::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decideAlarm(c.checked, stateAt(c.hour, c.minute, c.buzzer, c.done)), c.action);
    }
}

TEST(AlarmDecision, FindsTheAlarmMinuteNoRunSaw)
{
    // Runs as zone minutes since the epoch: day 100 at the given time.
    const auto at = [](int day, int hour, int minute) { return std::int64_t{day} * 1440 + hour * 60 + minute; };
    struct Case {
        const char* name;
        DateValue alarm;
        DecisionRuns runs;
        std::optional<std::int64_t> late;
    } const cases[] = {
        {"runs a minute apart see every minute", buildTime(7, 0, 0), {at(100, 7, 0), at(100, 7, 1)}, std::nullopt},
        {"the minute between two runs", buildTime(7, 0, 0), {at(100, 6, 59), at(100, 7, 1)}, 1},
        {"the gap ends in the alarm minute: not between", buildTime(7, 0, 0), {at(100, 6, 0), at(100, 7, 0)},
         std::nullopt},
        {"the gap starts in the alarm minute: seen", buildTime(7, 0, 0), {at(100, 7, 0), at(100, 8, 0)}, std::nullopt},
        {"the latest of several days' alarms", buildTime(7, 0, 0), {at(100, 6, 0), at(103, 6, 0)}, 23 * 60},
        {"across midnight", buildTime(23, 58, 0), {at(100, 23, 50), at(101, 0, 3)}, 5},
        {"alarm at midnight", buildTime(0, 0, 0), {at(100, 23, 59), at(101, 0, 2)}, 2},
        {"a clock set back sees no gap", buildTime(7, 0, 0), {at(100, 8, 0), at(100, 6, 0)}, std::nullopt},
        // Hand-edited files: alarm times no tick ever equals never come late either.
        {"an alarm time with seconds", buildTime(7, 0, 30), {at(100, 6, 0), at(100, 8, 0)}, std::nullopt},
        {"an alarm time with a date", 45000 + buildTime(7, 0, 0), {at(100, 6, 0), at(100, 8, 0)}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(minutesLate(c.alarm, c.runs), c.late);
    }
}

TEST(AlarmWakeUp, TheNextAlarmMinuteStartsAtThisUnixTime)
{
    // The local clock runs on Japan time; the readings are its.
    const auto japan = [](int day, int hour, int minute) { return test::local(2026, 12, day, hour, minute).unixTime; };
    const auto noonAndABit = test::local(2026, 12, 11, 12, 0, 30);
    struct Case {
        const char* name;
        std::int16_t area, summer;
        DateValue alarm;
        std::int16_t buzzer = kTune;
        std::int16_t done = kAlarmArmed;
        platform::LocalDateTime now;
        std::optional<std::int64_t> wake;
        bool checked = true;
    } const cases[] = {
        {"Japan, later today", 5, 0, buildTime(13, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(11, 13, 0)},
        {"Japan, passed today: tomorrow's", 5, 0, buildTime(7, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(12, 7, 0)},
        {"inside the alarm minute: tomorrow's", 5, 0, buildTime(12, 0, 0), kOneBeep, kAlarmArmed, noonAndABit,
         japan(12, 12, 0)},
        {"Tonga, four hours ahead, past its 7:00", 0, 0, buildTime(7, 0, 0), kTune, kAlarmArmed, noonAndABit,
         japan(12, 3, 0)},
        {"Britain, nine hours behind", 16, 0, buildTime(7, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(11, 16, 0)},
        {"Britain in summer time", 16, 1, buildTime(7, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(11, 15, 0)},
        {"India, half an hour off", 9, 0, buildTime(9, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(11, 12, 30)},
        {"Hawaii, a day behind", 26, 0, buildTime(18, 0, 0), kTune, kAlarmArmed, noonAndABit, japan(11, 13, 0)},
        {"across midnight", 5, 0, buildTime(0, 0, 0), kTune, kAlarmArmed, test::local(2026, 12, 31, 23, 59, 30),
         test::local(2027, 1, 1, 0, 0).unixTime},
        {"a burst given today: tomorrow's", 5, 0, buildTime(7, 0, 0), kBurst, kAlarmGiven, noonAndABit,
         japan(12, 7, 0)},
        {"a burst missed today: tomorrow's", 5, 0, buildTime(7, 0, 0), kBurst, kAlarmMissed, noonAndABit,
         japan(12, 7, 0)},
        {"a beep given: none until re-armed", 5, 0, buildTime(13, 0, 0), kOneBeep, kAlarmGiven, noonAndABit,
         std::nullopt},
        {"a tune missed: none until re-armed", 5, 0, buildTime(13, 0, 0), kTune, kAlarmMissed, noonAndABit,
         std::nullopt},
        {"the box off", 5, 0, buildTime(13, 0, 0), kBurst, kAlarmArmed, noonAndABit, std::nullopt, false},
        {"an alarm time no tick equals", 5, 0, buildTime(13, 0, 30), kBurst, kAlarmArmed, noonAndABit, std::nullopt},
        {"a zone that cannot be computed", 30000, 0, buildTime(13, 0, 0), kBurst, kAlarmArmed, noonAndABit,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClockState state{c.area, c.summer, c.alarm, c.buzzer, 0, c.done};
        EXPECT_EQ(nextAlarmStart(c.checked, state, c.now), c.wake);
    }
}

class RingAlarm : public ::testing::Test, protected test::FakeDevices {};

TEST_F(RingAlarm, BeepsAndRecordsThatTheAlarmSounded)
{
    // A run at 7:40 after one at 6:50: the alarm is 40 minutes late.
    const DecisionRuns asleep{6 * 60 + 50, 7 * 60 + 40};
    struct Case {
        const char* name;
        std::int16_t buzzer;
        int minute;
        std::optional<DecisionRuns> runs;
        AlarmAction action;
        int beeps;
        int midiRequests;
        std::int16_t done = kAlarmGiven;
    } const cases[] = {
        {"single beep", 0, 0, std::nullopt, AlarmAction::Beep, 1, 0},
        {"burst", 1, 0, std::nullopt, AlarmAction::Burst, kBurstBeeps, 0},
        {"tune", 2, 0, std::nullopt, AlarmAction::ShowMidi, 0, 1},
        {"a beep too late to sound is missed", 0, 40, asleep, AlarmAction::Missed, 0, 0, kAlarmMissed},
        {"a tune too late to sound is missed", 2, 40, asleep, AlarmAction::Missed, 0, 0, kAlarmMissed},
        {"a burst too late to sound is missed", 1, 40, asleep, AlarmAction::Missed, 0, 0, kAlarmMissed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        beeper.beeps = 0;
        face.midiRequests = 0;
        auto state = stateAt(7, c.minute, c.buzzer, 0);
        EXPECT_EQ(ringAlarm(state, devices, c.runs), c.action);
        EXPECT_EQ(beeper.beeps, c.beeps);
        EXPECT_EQ(face.midiRequests, c.midiRequests);
        EXPECT_EQ(state.alarmDone, c.done);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RingAlarm, BoxOffLeavesTheAlarmStateAlone)
{
    face.checked = false;
    auto state = stateAt(7, 0, 0, 0);
    ringAlarm(state, devices);
    EXPECT_EQ(state.alarmDone, 0);
    EXPECT_EQ(beeper.beeps, 0);
}

TEST_F(RingAlarm, FailedTuneIsReportedAndStaysArmedForTheNextTick)
{
    face.midiFailure = "ファイルが見つかりません";
    auto state = stateAt(7, 0, 2, 0);
    ringAlarm(state, devices);
    ringAlarm(state, devices);
    EXPECT_EQ(state.alarmDone, 0);
    EXPECT_EQ(face.midiRequests, 2);
    const test::Message expected{"ファイルが見つかりません(in ringAlarm)", MessageIcon::Critical};
    EXPECT_EQ(messages.shown, (std::vector<test::Message>{expected, expected}));

    face.midiFailure.reset();
    ringAlarm(state, devices);
    EXPECT_EQ(state.alarmDone, 1);
}

TEST_F(RingAlarm, UnexpectedFailureIsShownWithTheTagAndNeverEscapes)
{
    class ThrowingBeeper final : public platform::Beeper {
    public:
        void beep() override { throw std::runtime_error("音を出せません"); }
    } throwing;
    ClockDevices failing{clock, throwing, messages, face};
    auto state = stateAt(7, 0, 0, 0);
    EXPECT_NO_THROW(ringAlarm(state, failing));
    EXPECT_EQ(state.alarmDone, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "音を出せません(in ringAlarm)");
}

}  // namespace
}  // namespace zentick
