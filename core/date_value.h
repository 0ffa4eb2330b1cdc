#pragma once

#include <chrono>
#include <cstdint>

namespace zentick {

// Days since 1899-12-30 00:00 with the time of day as the fraction: the
// OLE Automation date. The settings file and the alarm comparison depend on
// this exact representation.
using DateValue = double;

inline constexpr std::chrono::sys_days kDateValueEpoch{std::chrono::year{1899} / std::chrono::December / 30};
inline constexpr std::int64_t kSecondsPerDay = 86400;

// The time-building rule. Every time value in the program is made here from a
// total of seconds, so two values with the same total are bit-for-bit equal
// and the alarm can compare them with ==. Hours, minutes and seconds may lie
// outside their usual range and simply carry; the total must not be negative.
DateValue buildTime(std::int64_t hours, std::int64_t minutes, std::int64_t seconds);

// The time of day of a value, rounded to the nearest second (0 to 86399).
// For dates before the epoch the fraction counts forward from midnight too.
std::int64_t secondsOfDay(DateValue value);

// A whole-day value and the calendar date it stands for.
DateValue dateValueOf(std::chrono::year_month_day date);
std::chrono::year_month_day civilDateOf(DateValue value);

// The dates a DateValue may hold: years 100 to 9999.
bool isRepresentableDate(std::chrono::year_month_day date);

}  // namespace zentick
