#pragma once

// What the three windows share: the platform they are handed, the layout
// unit, the Japanese fonts and the program's icon.

#include "platform/alarm_notice.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/midi_player.h"
#include "platform/program_dir.h"

#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QString>

#include <string_view>

class QTranslator;
class QWidget;

namespace zentick::ui {

struct UiPlatform {
    const platform::Clock& clock;
    platform::Beeper& beeper;
    platform::MessageBox& messages;
    platform::FileSystem& files;
    const platform::ProgramDir& programDir;
    platform::MidiPlayer& midi;
    platform::AlarmNotice& notice;
};

// A rectangle in twips (1/1440 inch) from the top-left of the parent's
// client area.
struct Twips {
    int left;
    int top;
    int width;
    int height;
};

// What a screen reader announces a top-level window as.
enum class WindowRole { Frame, Dialog };

// A fixed-size top-level window: its name, caption (also its name for screen
// readers), role, the program's icon and a client area of `width` x `height`
// twips.
void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height,
                 WindowRole role = WindowRole::Frame);

// Places `widget` at `rect`, converted at the screen's logical DPI so the
// windows keep their proportions on high-DPI screens.
void place(QWidget* widget, Twips rect);

// Japanese fonts by their Windows names; substitutes installed by
// installFontSubstitutes() serve where those are missing.
QFont msGothic(qreal pointSize);   // fixed pitch
QFont msPGothic(qreal pointSize);  // proportional
void installFontSubstitutes();

// The globe and clock, as pixel art at 32 x 32 and drawn to scale at the
// other sizes, so it stays crisp on a screen scaled to 150 % or 200 %.
QIcon programIcon();

// Qt's own Japanese texts (context menus, the message boxes' button), from
// where Qt keeps its translations. False when they are not installed.
bool loadToolkitTranslations(QTranslator& translator);

// A frame whose border runs through the middle of its caption, as the
// windows were laid out for: the caption's top is the frame's top, and the
// controls inside keep their places measured from it.
class CaptionFrame final : public QGroupBox {
public:
    CaptionFrame(const QString& caption, QWidget* parent);

    // The inside of the border, in the frame's own coordinates.
    QRect borderRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zentick::ui
