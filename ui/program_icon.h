#pragma once

#include <QIcon>

namespace zentick::ui {

// The globe and clock, as pixel art at 32 x 32 and drawn to scale at the
// other sizes, so it stays crisp on a screen scaled to 150 % or 200 %.
QIcon programIcon();

}  // namespace zentick::ui
