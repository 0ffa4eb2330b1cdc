#pragma once

#include <cstdint>
#include <optional>

namespace zentick::platform {

// Has the computer woken from sleep for the alarm, where the desktop can.
// Where it cannot, nothing is said: the alarm then rings on waking, late.
class AlarmWakeUp {
public:
    virtual ~AlarmWakeUp() = default;
    // Wakes the computer at `unixTime` should it sleep then, in place of the
    // wake-up planned before; none takes that back. Planning the same time
    // again plans it anew, for one already spent in a wake-up.
    virtual void plan(std::optional<std::int64_t> unixTime) = 0;
};

}  // namespace zentick::platform
