#pragma once

#include "core/alarm.h"

#include <stdexcept>
#include <string>

namespace zentick {

// A failure the clock cannot run on; it ends the program at the event handler.
class ClockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "mmm d, ddd": the zone date as the main window shows it, names from the locale.
std::string formatZoneDate(DateValue date, const platform::Clock& names);
// "h:mm": the zone time as the main window shows it.
std::string formatZoneTime(DateValue time);

// Reads the local clock once and shows the zone date and time, keeping
// `worldTime`. Throws ClockError when the zone time cannot be computed,
// which a supported `area` never causes.
void showZoneTime(ClockState& state, const ClockDevices& devices);

// One tick: showZoneTime, then the alarm decision, which looks back over
// the minutes since the last tick's. Returns what sounded. The second form
// takes the clock's reading the caller has made for the whole tick.
AlarmAction showTime(ClockState& state, const ClockDevices& devices);
AlarmAction showTime(ClockState& state, const ClockDevices& devices, const platform::LocalDateTime& now);

}  // namespace zentick
