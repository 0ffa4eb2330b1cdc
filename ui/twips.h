#pragma once

// The windows are laid out in twips (1/1440 inch), converted at the
// screen's logical DPI, so they keep their proportions on high-DPI screens.

class QWidget;

namespace zentick::ui {

// A rectangle in twips from the top-left of the parent's client area.
struct Twips {
    int left;
    int top;
    int width;
    int height;
};

// Places `widget` at `rect`.
void place(QWidget* widget, Twips rect);

// Fixes a top-level window's client area at `width` x `height` twips.
void setClientSize(QWidget* window, int width, int height);

}  // namespace zentick::ui
