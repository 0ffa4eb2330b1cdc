#include "ui/twips.h"

#include <QWidget>

namespace zentick::ui {

namespace {

constexpr double kTwipsPerInch = 1440.0;

int toPixelsX(const QWidget* widget, int twips)
{
    return qRound(twips * widget->logicalDpiX() / kTwipsPerInch);
}

int toPixelsY(const QWidget* widget, int twips)
{
    return qRound(twips * widget->logicalDpiY() / kTwipsPerInch);
}

}  // namespace

void place(QWidget* widget, Twips rect)
{
    widget->setGeometry(toPixelsX(widget, rect.left), toPixelsY(widget, rect.top), toPixelsX(widget, rect.width),
                        toPixelsY(widget, rect.height));
}

void setClientSize(QWidget* window, int width, int height)
{
    window->setFixedSize(toPixelsX(window, width), toPixelsY(window, height));
}

}  // namespace zentick::ui
