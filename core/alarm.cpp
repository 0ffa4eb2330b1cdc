#include "core/alarm.h"

#include "core/world_time.h"
#include "platform/failure_words.h"

#include <exception>
#include <new>
#include <variant>

namespace zentick {

namespace {

// Returns the failure's description when the sound could not be given.
std::optional<std::string> sound(AlarmAction action, const ClockDevices& devices)
{
    switch (action) {
    case AlarmAction::None:
    case AlarmAction::Missed:
        break;
    case AlarmAction::Beep:
        devices.beeper.beep();
        break;
    case AlarmAction::Burst:
        ringBurst(devices.beeper);
        break;
    case AlarmAction::ShowMidi:
        return devices.face.showMidiAlarm();
    }
    return std::nullopt;
}

void showAlarmFailure(std::string_view description, const ClockDevices& devices)
{
    devices.messages.show(std::string(description) + "(in ringAlarm)", platform::MessageIcon::Critical);
}

}  // namespace

namespace {

constexpr std::int64_t kMinutesPerDay = kSecondsPerDay / 60;

// The minute of the day a tick can find the alarm in: only an alarm time of
// day in whole minutes has one (a hand-edited file may hold any other).
std::optional<std::int64_t> alarmMinuteOfDay(DateValue alarmTime)
{
    const std::int64_t seconds = secondsOfDay(alarmTime);
    if (seconds % 60 != 0 || buildTime(0, 0, seconds) != alarmTime)
        return std::nullopt;
    return seconds / 60;
}

// The remainder taken as a non-negative one, whatever the dividend's sign.
std::int64_t floorMod(std::int64_t value, std::int64_t divisor)
{
    return (value % divisor + divisor) % divisor;
}

}  // namespace

std::optional<std::int64_t> minutesLate(DateValue alarmTime, const DecisionRuns& runs)
{
    const auto minuteOfDay = alarmMinuteOfDay(alarmTime);
    if (!minuteOfDay)
        return std::nullopt;
    const std::int64_t alarmMinute = *minuteOfDay;
    // The alarm's last minute before now.
    const std::int64_t sinceAlarm = floorMod(runs.now - 1 - alarmMinute, kMinutesPerDay);
    const std::int64_t last = runs.now - 1 - sinceAlarm;
    if (last <= runs.previous)
        return std::nullopt;
    return runs.now - last;
}

AlarmAction decideAlarm(bool alarmChecked, const ClockState& state, std::optional<DecisionRuns> runs)
{
    if (!alarmChecked)
        return AlarmAction::None;
    std::optional<std::int64_t> late;
    if (state.worldTime != state.alarmTime && runs)
        late = minutesLate(state.alarmTime, *runs);
    if (state.worldTime == state.alarmTime || late) {
        AlarmAction due = AlarmAction::None;
        if (state.buzzer == kBurst)
            due = AlarmAction::Burst;
        else if (state.alarmDone == kAlarmArmed)
            due = state.buzzer == kOneBeep ? AlarmAction::Beep : AlarmAction::ShowMidi;
        return due != AlarmAction::None && late && *late > kLatestAlarmMinutes ? AlarmAction::Missed : due;
    }
    if (state.worldTime > state.alarmTime && state.alarmDone == kAlarmGiven && state.buzzer == kBurst)
        return AlarmAction::Burst;
    return AlarmAction::None;
}

AlarmAction ringAlarm(ClockState& state, const ClockDevices& devices, std::optional<DecisionRuns> runs)
{
    std::string failure;
    try {
        const AlarmAction action = decideAlarm(devices.face.alarmChecked(), state, runs);
        if (action == AlarmAction::None)
            return action;
        const auto error = sound(action, devices);
        if (!error) {
            state.alarmDone = action == AlarmAction::Missed ? kAlarmMissed : kAlarmGiven;
            return action;
        }
        failure = *error;
    } catch (const std::bad_alloc&) {
        failure = platform::kOutOfMemory;
    } catch (const std::exception& e) {
        failure = e.what();
    }
    showAlarmFailure(failure, devices);
    return AlarmAction::None;
}

void midiAlarmFailed(ClockState& state, const ClockDevices& devices)
{
    state.alarmDone = kAlarmArmed;
    showAlarmFailure(kMidiAlarmClosedWhileLoading, devices);
}

void ringBurst(platform::Beeper& beeper)
{
    for (int i = 0; i < kBurstBeeps; ++i)
        beeper.beep();
}

std::optional<std::int64_t> nextAlarmStart(bool alarmChecked, const ClockState& state,
                                           const platform::LocalDateTime& now)
{
    // A beep or a tune, once given or missed, waits for the user to re-arm it.
    if (!alarmChecked || (state.alarmDone != kAlarmArmed && state.buzzer != kBurst))
        return std::nullopt;
    const auto alarmMinute = alarmMinuteOfDay(state.alarmTime);
    const auto zone = computeWorldTime(now, state.area, state.summer);
    if (!alarmMinute || !std::holds_alternative<ZoneTime>(zone))
        return std::nullopt;
    // The zone runs a fixed offset from the local clock, so the seconds to
    // its alarm minute are the seconds the local clock runs until then.
    const std::int64_t zoneMinute = minutesSinceEpoch(std::get<ZoneTime>(zone));
    const std::int64_t untilAlarm = floorMod(*alarmMinute - zoneMinute - 1, kMinutesPerDay) + 1;
    return now.unixTime - now.second + untilAlarm * 60;
}

bool tuneBellsDue(bool alarmChecked, const ClockState& state)
{
    return alarmChecked && state.worldTime >= state.alarmTime;
}

}  // namespace zentick
