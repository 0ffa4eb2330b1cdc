#pragma once

// What the three windows share: the platform they are handed, the layout
// unit, the Japanese fonts and the program's icon.

#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/midi_player.h"
#include "platform/program_dir.h"

#include <QFont>
#include <QIcon>
#include <QString>

#include <string_view>

class QWidget;

namespace zentick::ui {

struct UiPlatform {
    const platform::Clock& clock;
    platform::Beeper& beeper;
    platform::MessageBox& messages;
    platform::FileSystem& files;
    const platform::ProgramDir& programDir;
    platform::MidiPlayer& midi;
};

// A rectangle in twips (1/1440 inch) from the top-left of the parent's
// client area.
struct Twips {
    int left;
    int top;
    int width;
    int height;
};

// A fixed-size top-level window: its name, caption, the program's icon and
// a client area of `width` x `height` twips.
void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height);

// Places `widget` at `rect`, converted at the screen's logical DPI so the
// windows keep their proportions on high-DPI screens.
void place(QWidget* widget, Twips rect);

// Japanese fonts by their Windows names; substitutes installed by
// installFontSubstitutes() serve where those are missing.
QFont msGothic(qreal pointSize);   // fixed pitch
QFont msPGothic(qreal pointSize);  // proportional
void installFontSubstitutes();

QIcon programIcon();

inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zentick::ui
