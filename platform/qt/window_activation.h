#pragma once

#include <memory>

class QString;
class QWidget;

namespace zentick::platform {

// Brings the clock's window forward, or has it ask for attention, on any
// window system. On Wayland this goes through the compositor's
// xdg_activation_v1, bound the first time it is needed and kept.
class WindowActivation {
public:
    WindowActivation();
    ~WindowActivation();
    WindowActivation(const WindowActivation&) = delete;
    WindowActivation& operator=(const WindowActivation&) = delete;

    // Brings `window` to the front and gives it the focus, as a click on the
    // alarm's notice asks. On Wayland a window takes the focus only with the
    // activation token the desktop issued for that click; without one it
    // asks for attention instead.
    void bringForward(QWidget& window, const QString& activationToken);

    // Makes `window` ask for the user's attention, as the alarm does. On
    // Wayland Qt 6.4 asks nothing; the window then asks the compositor to
    // activate it, which a compositor refuses to a window the user is not
    // at by marking it as wanting attention.
    void askForAttention(QWidget& window);

private:
    // Activates the window with `token`, or with one of its own when empty.
    bool activateOnWayland(QWidget& window, const QString& token);

    class Wayland;
    std::unique_ptr<Wayland> m_wayland;
};

}  // namespace zentick::platform
