#include "platform/qt/session_environment.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ranges>
#include <string_view>

namespace zentick::platform {

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool sameLetters(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

bool isGnome(std::string_view desktops)
{
    for (const auto desktop : std::views::split(desktops, ':')) {
        if (sameLetters(std::string_view(desktop.begin(), desktop.end()), "GNOME"))
            return true;
    }
    return false;
}

}  // namespace

SessionEnvironment SessionEnvironment::current()
{
    return {variable("QT_QPA_PLATFORM"), variable("XDG_SESSION_TYPE"), variable("XDG_CURRENT_DESKTOP"),
            variable("WAYLAND_DISPLAY"), variable("DISPLAY")};
}

std::string preferredWindowSystems(const SessionEnvironment& session)
{
    const bool onWayland = session.sessionType == "wayland" || !session.waylandDisplay.empty();
    if (!session.qtPlatform.empty() || !onWayland || !isGnome(session.currentDesktop) || session.x11Display.empty())
        return {};
    return "xcb;wayland";  // Wayland still, should XWayland fail to start
}

}  // namespace zentick::platform
