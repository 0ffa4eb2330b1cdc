#pragma once

#include "core/date_value.h"

#include <cstdint>
#include <optional>

namespace zentick {

// The one record the whole program works on. The first four fields are the
// user's settings and survive a restart through the settings file; the rest
// live only while the program runs. Plain fields on purpose: the windows,
// the clock core and the settings file all read and assign them directly.
struct ClockState {
    std::int16_t area = 0;    // index into the zone table
    std::int16_t summer = 0;  // 1 adds an hour; any other value means off
    DateValue alarmTime = 0;  // time of day, whole minutes
    std::int16_t buzzer = 0;  // what sounds at the alarm: kOneBeep, kBurst, or the tune
    DateValue worldTime = 0;  // zone time of day from the last tick, whole minutes
    std::int16_t alarmDone = 0;  // kAlarmArmed, kAlarmGiven or kAlarmMissed
    // The local clock's minute (since the epoch) at the last alarm decision,
    // none before the first: the next one looks back over the minutes between,
    // which no tick saw when the computer slept or its clock was set forward.
    std::optional<std::int64_t> decidedAt = std::nullopt;
};

// What `buzzer` holds: one beep, a burst of beeps, or the MIDI tune, which
// sounds for every other value too (a hand-edited file may hold one);
// kTune is the one the settings dialog writes.
inline constexpr std::int16_t kOneBeep = 0;
inline constexpr std::int16_t kBurst = 1;
inline constexpr std::int16_t kTune = 2;

constexpr bool soundsTune(std::int16_t buzzer)
{
    return buzzer != kOneBeep && buzzer != kBurst;
}

// What `alarmDone` holds: armed, or since the alarm last fell due and until
// the user re-arms it, given (it sounded) or missed (found too late to
// sound). A missed alarm stays silent until its next minute, in every mode.
inline constexpr std::int16_t kAlarmArmed = 0;
inline constexpr std::int16_t kAlarmGiven = 1;
inline constexpr std::int16_t kAlarmMissed = 2;

// The four settings a fresh settings file holds.
inline constexpr std::int16_t kDefaultArea = 5;
inline constexpr std::int16_t kDefaultSummer = 0;
inline constexpr int kDefaultAlarmHour = 7;
inline constexpr std::int16_t kDefaultBuzzer = kTune;

inline void applyDefaultSettings(ClockState& state)
{
    state.area = kDefaultArea;
    state.summer = kDefaultSummer;
    state.alarmTime = buildTime(kDefaultAlarmHour, 0, 0);
    state.buzzer = kDefaultBuzzer;
}

}  // namespace zentick
