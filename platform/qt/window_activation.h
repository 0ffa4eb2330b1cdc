#pragma once

class QString;
class QWidget;

namespace zentick::platform {

// Brings `window` to the front and gives it the focus, as a click on the
// alarm's notice asks. On Wayland a window takes the focus only with the
// activation token the desktop issued for that click; without one it asks
// for attention instead.
void bringForward(QWidget& window, const QString& activationToken);

// Makes `window` ask for the user's attention, as the alarm does. On
// Wayland Qt 6.4 asks nothing; the window then asks the compositor to
// activate it, which a compositor refuses to a window the user is not at
// by marking it as wanting attention.
void askForAttention(QWidget& window);

}  // namespace zentick::platform
