#pragma once

class QString;
class QWidget;

namespace zentick::ui {

// What a screen reader announces a top-level window as.
enum class WindowRole { Frame, Dialog };

// A fixed-size top-level window: its name, caption (also its name for screen
// readers), role, the program's icon and a client area of `width` x `height`
// twips.
void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height,
                 WindowRole role = WindowRole::Frame);

}  // namespace zentick::ui
