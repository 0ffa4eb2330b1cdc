#include "core/date_value.h"

#include <cassert>
#include <cmath>

namespace zentick {

DateValue buildTime(std::int64_t hours, std::int64_t minutes, std::int64_t seconds)
{
    const std::int64_t total = hours * 3600 + minutes * 60 + seconds;
    assert(total >= 0);
    return static_cast<double>(total) / static_cast<double>(kSecondsPerDay);
}

std::int64_t secondsOfDay(DateValue value)
{
    const double fraction = std::abs(value - std::trunc(value));
    const auto seconds = static_cast<std::int64_t>(std::llround(fraction * kSecondsPerDay));
    // A fraction a hair below one day rounds up to the next midnight.
    return seconds % kSecondsPerDay;
}

DateValue dateValueOf(std::chrono::year_month_day date)
{
    return static_cast<double>((std::chrono::sys_days{date} - kDateValueEpoch).count());
}

std::chrono::year_month_day civilDateOf(DateValue value)
{
    return std::chrono::year_month_day{kDateValueEpoch + std::chrono::days{static_cast<std::int64_t>(std::trunc(value))}};
}

bool isRepresentableDate(std::chrono::year_month_day date)
{
    return date.ok() && date.year() >= std::chrono::year{100} && date.year() <= std::chrono::year{9999};
}

}  // namespace zentick
