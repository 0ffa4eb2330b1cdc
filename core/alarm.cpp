#include "core/alarm.h"

#include "platform/failure_words.h"

#include <exception>
#include <new>

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

std::optional<std::int64_t> minutesLate(DateValue alarmTime, const DecisionRuns& runs)
{
    constexpr std::int64_t kMinutesPerDay = kSecondsPerDay / 60;
    const std::int64_t seconds = secondsOfDay(alarmTime);
    if (seconds % 60 != 0 || buildTime(0, 0, seconds) != alarmTime)
        return std::nullopt;
    const std::int64_t alarmMinute = seconds / 60;
    // The alarm's last minute before now; the remainder is taken as a
    // non-negative one, whatever the sign of the difference.
    const std::int64_t sinceAlarm = ((runs.now - 1 - alarmMinute) % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
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
        else if (state.alarmDone == 0)
            due = state.buzzer == kOneBeep ? AlarmAction::Beep : AlarmAction::ShowMidi;
        return due != AlarmAction::None && late && *late > kLatestAlarmMinutes ? AlarmAction::Missed : due;
    }
    if (state.worldTime > state.alarmTime && state.alarmDone == 1 && state.buzzer == kBurst)
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
            state.alarmDone = 1;
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
    state.alarmDone = 0;
    showAlarmFailure(kMidiAlarmClosedWhileLoading, devices);
}

void ringBurst(platform::Beeper& beeper)
{
    for (int i = 0; i < kBurstBeeps; ++i)
        beeper.beep();
}

bool tuneBellsDue(bool alarmChecked, const ClockState& state)
{
    return alarmChecked && state.worldTime >= state.alarmTime;
}

}  // namespace zentick
