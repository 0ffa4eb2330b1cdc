#pragma once

#include <string>

namespace zentick::platform {

// The simple system beep. It must return at once: a burst calls it 201 times
// in a row on the user-interface thread.
class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
    // Stops the bell that sounds and drops those still to come: the alarm
    // was switched off or re-armed.
    virtual void silence() {}
    // Why the bells asked for are not heard, in words for the user; empty
    // while the last bell played, or before any was asked for.
    virtual std::string unheardBecause() const { return {}; }
};

}  // namespace zentick::platform
