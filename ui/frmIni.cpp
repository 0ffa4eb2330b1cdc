#include "ui/frmIni.h"

#include "core/number_rule.h"
#include "core/zone_table.h"
#include "ui/caption_frame.h"
#include "ui/fonts.h"
#include "ui/twips.h"
#include "ui/window_services.h"
#include "ui/window_setup.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionComplex>

namespace zentick::ui {

namespace {

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, Twips rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    place(label, rect);
    return label;
}

QLineEdit* addTextBox(QWidget* parent, const char* name, const QString& text, Twips rect)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    place(box, rect);
    return box;
}

// The zone list was laid out for the drop-down button of the desktop it was
// designed on (17 pixels at 96 DPI); styles with a wider one would cut off
// the longest zone, which fills the field exactly.
class ZoneListStyle final : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override
    {
        const QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
        if (control != CC_ComboBox || !widget)
            return rect;
        const int frame = 2 * widget->logicalDpiX() / 96;
        const int button = 17 * widget->logicalDpiX() / 96;
        const QRect whole = option->rect.adjusted(frame, frame, -frame, -frame);
        if (part == SC_ComboBoxEditField)
            return whole.adjusted(0, 0, -button, 0);
        if (part == SC_ComboBoxArrow)
            return QRect(whole.right() - button + 1, whole.top(), button, whole.height());
        return rect;
    }
};

// The hour or minute as typed, read by the number rule and rounded.
std::optional<std::int16_t> readWholeNumber(const QLineEdit* box)
{
    return roundToInt16(readNumber(box->text().toStdString()));
}

}  // namespace

frmIni::frmIni(ClockState& state, platform::MessageBox& messages, std::function<void()> showTime)
    : m_state(state)
    , m_messages(messages)
    , m_showTime(std::move(showTime))
{
    createControls();
    connect(m_cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    Form_Load();
}

frmIni::~frmIni() = default;

void frmIni::createControls()
{
    setUpWindow(this, "frmIni", QStringLiteral("設定画面"), 3810, 2895, WindowRole::Dialog);
    setFont(msPGothic(9));  // the Japanese desktop's usual control font

    // Created in tab order, so Tab walks the controls as laid out.
    m_cmbArea = new QComboBox(this);  // a list to pick from: no typing
    m_cmbArea->setObjectName(QStringLiteral("cmbArea"));
    m_cmbArea->setAccessibleName(QStringLiteral("国、地域"));
    m_cmbArea->setFont(msGothic(9));
    auto* zoneListStyle = new ZoneListStyle;
    zoneListStyle->setParent(m_cmbArea);  // a widget does not own the style it is given
    m_cmbArea->setStyle(zoneListStyle);
    place(m_cmbArea, {1080, 240, 2295, 300});
    // Each label names its field for screen readers; on Linux a drop-down
    // list is named by its label alone, its own name being the current item.
    addLabel(this, "Label1", QStringLiteral("国、地域："), {240, 240, 855, 255})->setBuddy(m_cmbArea);

    m_chkSummer = new QCheckBox(QStringLiteral("夏時間使用"), this);
    m_chkSummer->setObjectName(QStringLiteral("chkSummer"));
    place(m_chkSummer, {720, 720, 1335, 255});

    m_txtAlHr = addTextBox(this, "txtAlHr", QStringLiteral("7"), {1440, 1170, 300, 270});
    m_txtAlHr->setAccessibleName(QStringLiteral("アラーム時刻の時"));
    addLabel(this, "Label2", QStringLiteral("アラーム時刻："), {240, 1200, 1215, 255})->setBuddy(m_txtAlHr);

    m_cmdOk = new QPushButton(QStringLiteral("ＯＫ"), this);
    m_cmdOk->setObjectName(QStringLiteral("cmdOk"));
    m_cmdOk->setAutoDefault(false);  // Enter in a text box must not confirm
    place(m_cmdOk, {2880, 1800, 615, 375});

    addLabel(this, "Label3", QStringLiteral("時"), {1770, 1200, 255, 255})->setBuddy(m_txtAlHr);
    m_txtAlMin = addTextBox(this, "txtAlMin", QStringLiteral("0"), {2040, 1170, 300, 270});
    m_txtAlMin->setAccessibleName(QStringLiteral("アラーム時刻の分"));
    addLabel(this, "Label4", QStringLiteral("分"), {2400, 1200, 255, 255})->setBuddy(m_txtAlMin);

    auto* frame = new CaptionFrame(QStringLiteral("アラームの種類"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    place(frame, {600, 1560, 1815, 1095});
    m_optBuzzer = new QButtonGroup(this);
    m_optBuzzer->setObjectName(QStringLiteral("optBuzzer"));
    const QString sounds[] = {QStringLiteral("１回ビープ音"), QStringLiteral("連続ビープ音"), QStringLiteral("ＭＩＤＩ音楽")};
    for (int index = 0; index < 3; ++index) {
        auto* option = new QRadioButton(sounds[index], frame);
        option->setObjectName(QStringLiteral("optBuzzer"));
        place(option, {240, 240 + 240 * index, 1455, 255});
        m_optBuzzer->addButton(option, index);
    }
}

void frmIni::Form_Load()
{
    for (const auto label : kZoneLabels)
        m_cmbArea->addItem(qs(label));
    // An index the list cannot show (a hand-edited file) selects nothing.
    m_cmbArea->setCurrentIndex(m_state.area >= 0 && m_state.area < kZoneCount ? m_state.area : -1);
    m_chkSummer->setChecked(m_state.summer == 1);
    const auto seconds = secondsOfDay(m_state.alarmTime);
    m_txtAlHr->setText(QString::number(seconds / 3600));
    m_txtAlMin->setText(QString::number(seconds / 60 % 60));
    m_optBuzzer->button(soundsTune(m_state.buzzer) ? kTune : m_state.buzzer)->setChecked(true);
    m_cmbArea->setFocus();
}

void frmIni::cmdOk_Click()
{
    // With nothing picked the zone stays as it was, so a hand-edited zone
    // survives an OK that only changed the alarm.
    if (m_cmbArea->currentIndex() >= 0)
        m_state.area = static_cast<std::int16_t>(m_cmbArea->currentIndex());
    m_state.summer = m_chkSummer->isChecked() ? 1 : 0;
    const auto sound = static_cast<std::int16_t>(m_optBuzzer->checkedId());
    m_state.buzzer = soundsTune(sound) ? kTune : sound;

    const auto hour = readWholeNumber(m_txtAlHr);
    const auto minute = readWholeNumber(m_txtAlMin);
    if (!hour || !minute || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59) {
        m_messages.show("アラーム時刻に誤りがあります", platform::MessageIcon::None);
        return;
    }
    m_state.alarmTime = buildTime(*hour, *minute, 0);
    close();
    m_state.alarmDone = 0;
    m_showTime();
}

}  // namespace zentick::ui
