#pragma once

#include <cstdint>
#include <string>

namespace zentick::platform {

// What the local clock reads: a calendar date and a time of day to the
// second, and the same instant as Unix time, which is how the system's
// services take a time.
struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::int64_t unixTime = 0;
};

// The computer's clock and calendar names. Read once per tick.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
    // Abbreviated names in the user's locale, UTF-8; month 1 to 12, weekday 0 (Sunday) to 6.
    virtual std::string monthAbbreviation(int month) const = 0;
    virtual std::string weekdayAbbreviation(int weekday) const = 0;
};

}  // namespace zentick::platform
