#pragma once

#include <string_view>

namespace zentick::platform {

// The desktop's own notice that the alarm sounds, seen from any window and
// on a desktop that offers the window no way to ask for attention, and the
// clock's window asking for attention beside it; a click on the notice
// brings the clock forward.
class AlarmNotice {
public:
    virtual ~AlarmNotice() = default;
    // Shows `text` (UTF-8), in place of a notice already shown, and has the
    // window ask for attention.
    virtual void show(std::string_view text) = 0;
    // Takes the notice away once the user has answered the alarm; nothing
    // when none is shown.
    virtual void withdraw() = 0;
};

}  // namespace zentick::platform
