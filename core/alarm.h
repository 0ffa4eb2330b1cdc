#pragma once

#include "core/clock_face.h"
#include "core/clock_state.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/message_box.h"

namespace zentick {

inline constexpr int kBurstBeeps = 201;

// Everything a tick reaches outside the clock state.
struct ClockDevices {
    const platform::Clock& clock;
    platform::Beeper& beeper;
    platform::MessageBox& messages;
    ClockFace& face;
};

enum class AlarmAction { None, Beep, Burst, ShowMidi };

// What the alarm does on this tick. A single beep and the tune sound once
// until re-armed; the burst repeats on every tick from the alarm minute until
// the user re-arms or the zone's day ends.
AlarmAction decideAlarm(bool alarmChecked, const ClockState& state);

// Sounds the alarm when it is due and records that it has. Returns what
// sounded: None when nothing did, or when it failed. Failures are shown to
// the user here and never reach the caller; a failed MIDI window leaves the
// alarm armed, so the next tick of the same minute tries again.
AlarmAction ringAlarm(ClockState& state, const ClockDevices& devices);

// What the MIDI alarm window's show request reports when its load fails.
inline constexpr std::string_view kMidiAlarmClosedWhileLoading = "MIDI アラームの画面は開く途中で閉じられました";

// A MIDI alarm window whose player refused the tune only after the window
// was shown: told as a failure inside ringAlarm, and the alarm armed again,
// so the next tick of the alarm minute tries again.
void midiAlarmFailed(ClockState& state, const ClockDevices& devices);

// The burst's bells, all at once.
void ringBurst(platform::Beeper& beeper);

// Bells stand in for a tune that cannot sound: due, like a burst, on every
// tick from the alarm minute until the zone's day ends or the box is off.
bool tuneBellsDue(bool alarmChecked, const ClockState& state);

}  // namespace zentick
