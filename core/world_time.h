#pragma once

#include "core/date_value.h"
#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <variant>

namespace zentick {

struct ZoneTime {
    DateValue date = 0;  // whole days
    DateValue time = 0;  // time of day in whole minutes: becomes worldTime
};

enum class WorldTimeError {
    Overflow,        // the 16-bit offset arithmetic overflowed
    NegativeTime,    // a threshold or the zone time came out below zero
    DateOutOfRange,  // the zone date left years 100 to 9999
};

// The date and time of zone `area` when the local clock reads `local`.
std::variant<ZoneTime, WorldTimeError> computeWorldTime(const platform::LocalDateTime& local, std::int16_t area,
                                                       std::int16_t summer);

std::string describe(WorldTimeError error);

// Whole minutes since the epoch: of a local clock reading, and of a zone's date and time.
std::int64_t minutesSinceEpoch(const platform::LocalDateTime& local);
std::int64_t minutesSinceEpoch(const ZoneTime& zone);

}  // namespace zentick
