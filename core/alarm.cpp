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

AlarmAction decideAlarm(bool alarmChecked, const ClockState& state)
{
    if (!alarmChecked)
        return AlarmAction::None;
    if (state.worldTime == state.alarmTime) {
        if (state.buzzer == kBurst)
            return AlarmAction::Burst;
        if (state.alarmDone != 0)
            return AlarmAction::None;
        return state.buzzer == kOneBeep ? AlarmAction::Beep : AlarmAction::ShowMidi;
    }
    if (state.worldTime > state.alarmTime && state.alarmDone == 1 && state.buzzer == kBurst)
        return AlarmAction::Burst;
    return AlarmAction::None;
}

AlarmAction ringAlarm(ClockState& state, const ClockDevices& devices)
{
    std::string failure;
    try {
        const AlarmAction action = decideAlarm(devices.face.alarmChecked(), state);
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
