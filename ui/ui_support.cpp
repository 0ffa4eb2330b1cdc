#include "ui/ui_support.h"

#include <QPixmap>
#include <QWidget>

#include "ui/zentick.xpm"

namespace zentick::ui {

namespace {

constexpr double kTwipsPerInch = 1440.0;

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

int toPixelsX(const QWidget* widget, int twips)
{
    return qRound(twips * widget->logicalDpiX() / kTwipsPerInch);
}

int toPixelsY(const QWidget* widget, int twips)
{
    return qRound(twips * widget->logicalDpiY() / kTwipsPerInch);
}

QFont japaneseFont(const QString& family, qreal pointSize, QFont::StyleHint hint)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setStyleHint(hint);
    return font;
}

void setClientSize(QWidget* window, int width, int height)
{
    window->setFixedSize(toPixelsX(window, width), toPixelsY(window, height));
}

}  // namespace

void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height)
{
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(caption);
    window->setWindowIcon(programIcon());
    setClientSize(window, width, height);
}

void place(QWidget* widget, Twips rect)
{
    widget->setGeometry(toPixelsX(widget, rect.left), toPixelsY(widget, rect.top), toPixelsX(widget, rect.width),
                        toPixelsY(widget, rect.height));
}


QFont msGothic(qreal pointSize)
{
    return japaneseFont(kGothic, pointSize, QFont::TypeWriter);
}

QFont msPGothic(qreal pointSize)
{
    return japaneseFont(kPGothic, pointSize, QFont::SansSerif);
}

void installFontSubstitutes()
{
    // The IPA fonts are what the set-up installs; Noto CJK and VL Gothic are
    // common on other desktops.
    QFont::insertSubstitutions(kGothic, {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                                         QStringLiteral("VL Gothic"), QStringLiteral("MS Gothic")});
    QFont::insertSubstitutions(kPGothic, {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                          QStringLiteral("VL PGothic"), QStringLiteral("MS PGothic")});
}

QIcon programIcon()
{
    return QIcon(QPixmap(zentick_icon));
}

}  // namespace zentick::ui
