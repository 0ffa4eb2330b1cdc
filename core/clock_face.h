#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zentick {

// What the clock core needs from the main window: the two displays, the
// alarm box, and the way to the MIDI alarm window.
class ClockFace {
public:
    virtual ~ClockFace() = default;
    virtual void setDateText(std::string_view text) = 0;  // lblDateWd
    virtual void setTimeText(std::string_view text) = 0;  // txtTimeWd
    virtual bool alarmChecked() const = 0;                // chkAl
    // Shows the MIDI alarm window without waiting for it; an open window is
    // left playing. Returns the failure's description when it could not start.
    virtual std::optional<std::string> showMidiAlarm() = 0;
};

}  // namespace zentick
