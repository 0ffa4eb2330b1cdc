#include "ui/caption_frame.h"

#include <QPainter>
#include <QStyle>

namespace zentick::ui {

CaptionFrame::CaptionFrame(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent)
{
}

QRect CaptionFrame::borderRect() const
{
    const int middle = fontMetrics().height() / 2;
    return rect().adjusted(0, middle, 0, 0);
}

void CaptionFrame::paintEvent(QPaintEvent*)
{
    // Drawn here rather than by the style: styles put the caption above the
    // border, where the controls inside were not placed for it.
    QPainter painter(this);
    const QRect border = borderRect().adjusted(0, 0, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border);
    painter.setPen(palette().color(QPalette::Light));  // etched, as the desktop it was laid out on draws it
    painter.drawRect(border.translated(1, 1));

    // The caption sits on the line, on the window's own background.
    const QFontMetrics metrics = fontMetrics();
    const int gap = metrics.averageCharWidth() / 2;
    const QRect caption(metrics.averageCharWidth(), 0, metrics.horizontalAdvance(title()) + 2 * gap, metrics.height());
    painter.fillRect(caption, palette().window());
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), title(),
                          QPalette::WindowText);
}

}  // namespace zentick::ui
