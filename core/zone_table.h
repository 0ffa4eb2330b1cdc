#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zentick {

inline constexpr int kZoneCount = 27;

// The labels the settings dialog lists, in list order: entry i is zone i.
// The computer's own clock is taken to run on zone 5.
extern const std::array<std::string_view, kZoneCount> kZoneLabels;

// A zone's offset from the local clock: whole hours, plus 30 minutes for the
// three half-hour zones. Both are 16-bit values in the computation.
struct ZoneOffset {
    std::int16_t hours = 0;
    std::int16_t extraMinutes = 0;
};

// The offset rule, which also covers indexes outside the table (they only
// arrive from a hand-edited settings file). Empty when the 16-bit arithmetic
// would overflow.
std::optional<ZoneOffset> zoneOffset(std::int16_t area, std::int16_t summer);

// The zones for which every local time of every day yields a valid zone time,
// with summer time on or off. Anything else cannot be shown on the clock.
inline constexpr std::int16_t kMinSupportedArea = -19;
inline constexpr std::int16_t kMaxSupportedArea = 31;

constexpr bool isSupportedArea(std::int16_t area)
{
    return area >= kMinSupportedArea && area <= kMaxSupportedArea;
}

}  // namespace zentick
