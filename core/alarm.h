#pragma once

#include "core/clock_face.h"
#include "core/clock_state.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/message_box.h"

#include <cstdint>
#include <optional>

namespace zentick {

inline constexpr int kBurstBeeps = 201;

// Everything a tick reaches outside the clock state.
struct ClockDevices {
    const platform::Clock& clock;
    platform::Beeper& beeper;
    platform::MessageBox& messages;
    ClockFace& face;
};

// Missed: the alarm's minute passed while no tick ran, longer ago than an
// alarm may come late; nothing sounds, and the user is to be told.
enum class AlarmAction { None, Beep, Burst, ShowMidi, Missed };

// An alarm whose minute no tick saw (the computer slept, or its clock was
// set forward) still sounds when it is found at most this many minutes late.
inline constexpr std::int64_t kLatestAlarmMinutes = 5;

// Two runs of the alarm decision, the one before and this one, in whole
// minutes of the zone's time since the epoch.
struct DecisionRuns {
    std::int64_t previous = 0;
    std::int64_t now = 0;
};

// How many minutes before `runs.now` the alarm's minute last fell, when it
// fell strictly between the two runs, so that neither saw it. Only an alarm
// time a tick can equal (a time of day in whole minutes) has such a minute.
std::optional<std::int64_t> minutesLate(DateValue alarmTime, const DecisionRuns& runs);

// What the alarm does on this tick. A single beep and the tune sound once
// until re-armed; the burst repeats on every tick from the alarm minute until
// the user re-arms or the zone's day ends. An alarm minute that fell between
// the last run and this one counts as this tick's: it sounds as on time when
// at most kLatestAlarmMinutes late, and is Missed when later than that.
AlarmAction decideAlarm(bool alarmChecked, const ClockState& state, std::optional<DecisionRuns> runs = std::nullopt);

// Sounds the alarm when it is due and records that it has, or that it was
// missed: a missed alarm stays silent, a burst too, until its next minute.
// Returns what sounded (or Missed): None when nothing did, or when it failed.
// Failures are shown to the user here and never reach the caller; a failed
// MIDI window leaves the alarm armed, so the next tick of the same minute
// tries again.
AlarmAction ringAlarm(ClockState& state, const ClockDevices& devices, std::optional<DecisionRuns> runs = std::nullopt);

// What the MIDI alarm window's show request reports when its load fails.
inline constexpr std::string_view kMidiAlarmClosedWhileLoading = "MIDI アラームの画面は開く途中で閉じられました";

// A MIDI alarm window whose player refused the tune only after the window
// was shown: told as a failure inside ringAlarm, and the alarm armed again,
// so the next tick of the alarm minute tries again.
void midiAlarmFailed(ClockState& state, const ClockDevices& devices);

// The burst's bells, all at once.
void ringBurst(platform::Beeper& beeper);

// The Unix time at which the alarm's next minute in the zone begins, after
// `now`: when the computer should be awake for it. None while the alarm
// will not sound again until the user re-arms it: the box off, or a beep or
// a tune given or missed; and for an alarm time no tick can equal.
std::optional<std::int64_t> nextAlarmStart(bool alarmChecked, const ClockState& state,
                                           const platform::LocalDateTime& now);

// Bells stand in for a tune that cannot sound: due, like a burst, on every
// tick from the alarm minute until the zone's day ends or the box is off.
bool tuneBellsDue(bool alarmChecked, const ClockState& state);

}  // namespace zentick
