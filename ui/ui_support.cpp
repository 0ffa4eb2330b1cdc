#include "ui/ui_support.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTranslator>
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

// Qt knows the roles of QDialog and QMainWindow only; a window built on a
// plain QWidget would be announced as a "filler" rather than as a window.
constexpr char kRoleProperty[] = "zentickWindowRole";

QAccessibleInterface* windowWithRole(const QString& className, QObject* object)
{
    auto* window = qobject_cast<QWidget*>(object);
    if (className != QLatin1String("QWidget") || !window || !window->isWindow())
        return nullptr;
    const QVariant role = window->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(window, role.value<WindowRole>() == WindowRole::Dialog ? QAccessible::Dialog
                                                                                     : QAccessible::Window);
}

void setRole(QWidget* window, WindowRole role)
{
    // Qt keeps its accessibility factories for the life of the program.
    static const bool installed = (QAccessible::installFactory(windowWithRole), true);
    Q_UNUSED(installed);
    window->setProperty(kRoleProperty, QVariant::fromValue(role));
}

}  // namespace

void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height, WindowRole role)
{
    setRole(window, role);  // first: the caption below already makes its accessible interface
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(caption);
    window->setAccessibleName(caption);
    // The icon the program has already given all its windows, when it has:
    // making it again would cost every window a millisecond.
    const QIcon shared = QGuiApplication::windowIcon();
    window->setWindowIcon(shared.isNull() ? programIcon() : shared);
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
    // The sizes a title bar and a task bar take, up to twice 32 for a screen
    // scaled to 200 %; launchers and docks take the larger ones from the
    // icon theme. The window system is handed every size here at start-up,
    // so there are no more than these.
    QIcon icon{QPixmap(zentick_icon)};
    // Read as PNG, said outright: asked to find the format, Qt first loads
    // every image format plugin to ask each, a cost at every start.
    for (const int size : {16, 48, 64}) {
        QImageReader reader(QStringLiteral(":/icons/zentick-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

bool loadToolkitTranslations(QTranslator& translator)
{
    // Japanese whatever the system's language: every text the user sees is.
    return translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

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
