#pragma once

#include <string>

namespace zentick::platform {

// What the session's environment says about the desktop.
struct SessionEnvironment {
    std::string qtPlatform;      // QT_QPA_PLATFORM: the user's own choice
    std::string sessionType;     // XDG_SESSION_TYPE
    std::string currentDesktop;  // XDG_CURRENT_DESKTOP, a list split by ':'
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string x11Display;      // DISPLAY

    static SessionEnvironment current();
};

// The window systems for Qt to try, when the program should choose: X11
// through XWayland, then Wayland, in a GNOME session on Wayland. GNOME
// leaves a Wayland window's title bar to the program, and Qt's own cuts the
// caption of a window this small and offers buttons that do nothing on a
// window of fixed size; for an X11 window GNOME draws its own. Empty where
// the user chose, or where nothing needs choosing.
std::string preferredWindowSystems(const SessionEnvironment& session);

}  // namespace zentick::platform
