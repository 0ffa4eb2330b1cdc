#pragma once

#include "core/clock_state.h"

#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace zentick::settings {

// The date-and-time item between '#' signs: "#hh:mm:ss#", "#yyyy-mm-dd#" or
// "#yyyy-mm-dd hh:mm:ss#", the time rounded to the nearest second. Zero is
// written "#00:00:00#".
std::string formatDateItem(DateValue value);
// Reads the three forms back, bit-for-bit the value written. Empty when the
// text is not one of them or names no real date or time.
std::optional<DateValue> parseDateItem(std::string_view item);

// The settings file's one line: "area,summer,#alarm#,buzzer" and CR LF.
std::string formatIniLine(const ClockState& state);

// Reads the four values from `in` into `state`, in file order, stopping at
// the first value that cannot be taken; the fields before it keep what was
// read, the rest keep what they held. Returns what went wrong, in words.
std::optional<std::string> readIniValues(std::istream& in, ClockState& state);

}  // namespace zentick::settings
