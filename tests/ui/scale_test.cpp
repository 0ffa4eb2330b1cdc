// The three windows as the screen scale makes them, with the fonts actually
// installed: run once for each QT_SCALE_FACTOR (1, 1.5 and 2).

#include "ui/caption_frame.h"
#include "ui/fonts.h"
#include "ui_fixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

namespace zentick::ui::test {
namespace {

double scaleFactor()
{
    const QByteArray set = qgetenv("QT_SCALE_FACTOR");
    return set.isEmpty() ? 1.0 : set.toDouble();
}

// Where a control's text goes, as its style lays it out.
QRect textRoom(QWidget* control)
{
    QStyle* style = control->style();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto element = qobject_cast<QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
                             : qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                                   : QStyle::SE_PushButtonContents;
        return style->subElementRect(element, &option, button);
    }
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        const auto margins = edit->textMargins();
        return edit->contentsRect().marginsRemoved(margins).adjusted(2, 1, -2, -1);  // QLineEdit's own inner margin
    }
    return control->contentsRect();
}

QStringList textsOf(QWidget* control)
{
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return {button->text()};
    if (auto* label = qobject_cast<QLabel*>(control))
        return {label->text()};
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return {edit->text()};
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
    if (auto* frame = qobject_cast<QGroupBox*>(control))
        return {frame->title()};
    return {};
}

class AtEveryScale : public MainWindowTest {
protected:
    struct Window {
        const char* name;
        std::function<QWidget*()> open;
        int widthTwips;
        int heightTwips;
    };

    void checkWindow(QWidget* window, int widthTwips, int heightTwips)
    {
        const double scale = scaleFactor();
        const double ratio = window->devicePixelRatioF();
        EXPECT_DOUBLE_EQ(ratio, scale);
        EXPECT_NEAR(window->width() * ratio, widthTwips / 15.0 * scale, scale) << "device pixels across";
        EXPECT_NEAR(window->height() * ratio, heightTwips / 15.0 * scale, scale) << "device pixels down";
        EXPECT_FALSE(window->accessibleName().isEmpty());
        EXPECT_EQ(window->accessibleName(), window->windowTitle());
        EXPECT_FALSE(window->windowIcon().pixmap(QSize(32, 32), ratio).isNull()) << "no icon at this scale";
        EXPECT_GE(window->windowIcon().pixmap(QSize(32, 32), ratio).width(), static_cast<int>(32 * ratio))
            << "the icon would be blown up, not drawn for the scale";

        for (QWidget* control : window->findChildren<QWidget*>()) {
            const QStringList texts = textsOf(control);
            if (texts.isEmpty() || control->objectName().isEmpty())
                continue;  // the parts Qt builds inside a control
            SCOPED_TRACE(control->objectName().toStdString());
            const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << "a screen reader would hear nothing";

            // Typed hours and minutes may be wider than their boxes, by design.
            const bool typed = control->objectName() == "txtAlHr" || control->objectName() == "txtAlMin";
            const QRect room = qobject_cast<QGroupBox*>(control) ? control->rect() : textRoom(control);
            const QFontMetrics metrics = control->fontMetrics();
            for (const QString& text : texts) {
                SCOPED_TRACE(text.toStdString());
                if (!typed) {
                    EXPECT_LE(metrics.horizontalAdvance(text), room.width()) << "cut off at the side";
                }
                if (!qobject_cast<QGroupBox*>(control)) {
                    EXPECT_LE(metrics.height(), room.height() + 1) << "cut off at the top or bottom";
                }
            }
        }
    }
};

TEST_F(AtEveryScale, EveryWindowIsItsSizeAndEveryTextFitsAndIsNamed)
{
    writeSettings("5,0,#12:00:00#,2\r\n");
    start();
    clock.time = local(2026, 9, 30, 23, 58);  // a wide date and time
    tick();
    {
        SCOPED_TRACE("frmMain");
        checkWindow(main.get(), 3405, 1185);
    }
    {
        SCOPED_TRACE("frmIni");
        click(control<QPushButton>("cmdIni"));
        checkWindow(main->settingsDialog(), 3810, 2895);
        auto* frame = main->settingsDialog()->findChild<CaptionFrame*>("Frame1");
        ASSERT_NE(frame, nullptr);
        const auto options = frame->findChildren<QRadioButton*>();
        EXPECT_EQ(options.size(), 3);
        for (const auto* option : options)
            EXPECT_TRUE(frame->borderRect().contains(option->geometry())) << "an option sits on the frame's border";
        main->settingsDialog()->close();
    }
    {
        SCOPED_TRACE("frmMci");
        checkAlarm(true);
        clock.time = local(2026, 12, 8, 12, 0);
        tick();
        ASSERT_NE(main->midiAlarmWindow(), nullptr);
        checkWindow(main->midiAlarmWindow(), 1710, 615);
    }
}

// The windows name the Windows fonts; they get, without Qt's search for a
// family not installed, the very face that search would have found, at the
// same size and with the same metrics.
TEST(JapaneseFonts, AreTheFacesQtWouldHaveFoundForTheNamesTheWindowsGive)
{
    struct Case {
        const char* named;
        QFont (*font)(qreal);
        qreal pointSize;
    } const cases[] = {
        {"ＭＳ ゴシック", msGothic, 9},   {"ＭＳ ゴシック", msGothic, 20.25},
        {"ＭＳ Ｐゴシック", msPGothic, 9}, {"ＭＳ Ｐゴシック", msPGothic, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.named) + " " + std::to_string(c.pointSize));
        const QFont chosen = c.font(c.pointSize);
        QFont searched(QString::fromUtf8(c.named));  // as Qt finds it, through the substitutes
        searched.setPointSizeF(c.pointSize);
        searched.setStyleHint(chosen.styleHint());
        const QFontInfo got(chosen);
        const QFontInfo expected(searched);
        EXPECT_EQ(got.family(), expected.family());
        EXPECT_EQ(got.styleName(), expected.styleName());
        EXPECT_EQ(got.pointSizeF(), expected.pointSizeF());
        const QFontMetricsF gotMetrics(chosen);
        const QFontMetricsF expectedMetrics(searched);
        EXPECT_EQ(gotMetrics.height(), expectedMetrics.height());
        EXPECT_EQ(gotMetrics.horizontalAdvance(QStringLiteral("23:54 アラーム ＯＮ 設定")),
                  expectedMetrics.horizontalAdvance(QStringLiteral("23:54 アラーム ＯＮ 設定")));
    }
}

}  // namespace
}  // namespace zentick::ui::test
