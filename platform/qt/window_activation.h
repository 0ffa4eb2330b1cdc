#pragma once

class QString;
class QWidget;

namespace zentick::platform {

// Brings `window` to the front and gives it the focus, as a click on the
// alarm's notice asks. On Wayland a window takes the focus only with the
// activation token the desktop issued for that click; without one it asks
// for attention instead.
void bringForward(QWidget& window, const QString& activationToken);

}  // namespace zentick::platform
