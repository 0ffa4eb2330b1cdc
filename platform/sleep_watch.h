#pragma once

#include <chrono>
#include <functional>

namespace zentick::platform {

// How long the computer has run since it started: awake, and asleep
// (suspended). Only the difference of two readings means anything.
struct Uptime {
    std::chrono::milliseconds awake{0};
    std::chrono::milliseconds asleep{0};

    Uptime operator-(const Uptime& earlier) const { return {awake - earlier.awake, asleep - earlier.asleep}; }
};

// The computer's sleep as the clock needs it: word the moment it wakes, so
// the time shows at once and a late alarm sounds without waiting for a tick,
// how long it slept, so a missed alarm is told with its reason, and a hold
// on sleep while the alarm sounds. Where
// the system tells nothing, the clock finds a sleep at its next tick all the
// same; this only makes it sooner and better told.
class SleepWatch {
public:
    virtual ~SleepWatch() = default;
    // `woke` runs on the windows' thread each time the computer has woken;
    // an empty function stops that.
    virtual void onWake(std::function<void()> woke) = 0;
    virtual Uptime uptime() const = 0;
    // Keeps the computer from sleeping while true, as an alarm sounding
    // needs; where the system allows no such hold, it sleeps as before.
    virtual void keepAwake(bool awake) = 0;
};

}  // namespace zentick::platform
