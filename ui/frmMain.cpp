#include "ui/frmMain.h"

#include "core/show_time.h"
#include "platform/failure_words.h"
#include "settings/ini_file.h"
#include "ui/frmIni.h"
#include "ui/display_text.h"
#include "ui/frmMci.h"
#include "ui/fonts.h"
#include "ui/twips.h"
#include "ui/window_setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

#include <exception>
#include <new>
#include <string_view>
#include <utility>

namespace zentick::ui {

namespace {

constexpr std::string_view kTuneFileName = "Zentick.mid";

// Mouse button codes as the window's mouse-down handler takes them.
int buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

// Closing a window that is not open does nothing.
void closeIfOpen(QWidget* window)
{
    if (window && window->isVisible())
        window->close();
}

}  // namespace

frmMain::frmMain(ClockState& state, const UiPlatform& platform)
    : m_state(state)
    , m_platform(platform)
    , m_devices{platform.clock, platform.beeper, platform.messages, *this}
    , m_aftermath(state, *this, {platform.beeper, platform.messages, platform.notice, platform.sleep, platform.wakeUp})
{
    createControls();
    connectSignals();
    m_Timer1->start();
    guarded([this] { Form_Load(); });
    m_platform.sleep.onWake([this] { computerWoke(); });
}

frmMain::~frmMain()
{
    m_platform.sleep.onWake({});
}

frmIni* frmMain::settingsDialog() const
{
    return m_ini.get();
}

frmMci* frmMain::midiAlarmWindow() const
{
    return m_mci.get();
}

void frmMain::createControls()
{
    setUpWindow(this, "frmMain", kCaption, 3405, 1185);
    setFont(msPGothic(9));  // the Japanese desktop's usual control font

    // Created in tab order.
    m_txtTimeWd = new QLineEdit(QStringLiteral("23:54"), this);
    m_txtTimeWd->setObjectName(QStringLiteral("txtTimeWd"));
    m_txtTimeWd->setFont(msGothic(20.25));
    // It shows the time; anything typed there would be lost at the next tick.
    announceAsDisplay(m_txtTimeWd);
    // Screen readers say its name, then the time it shows.
    m_txtTimeWd->setAccessibleName(QStringLiteral("時刻"));
    m_txtTimeWd->setAccessibleDescription(QStringLiteral("選んだ国、地域の時刻"));
    place(m_txtTimeWd, {240, 480, 1455, 540});

    m_lblDateWd = new QLabel(QStringLiteral("lblDateWd"), this);
    m_lblDateWd->setObjectName(QStringLiteral("lblDateWd"));
    m_lblDateWd->setFont(msPGothic(12));
    m_lblDateWd->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(m_lblDateWd, {360, 120, 1455, 255});

    m_cmdIni = new QPushButton(QStringLiteral("設定"), this);
    m_cmdIni->setObjectName(QStringLiteral("cmdIni"));
    place(m_cmdIni, {2280, 480, 615, 255});

    m_Command1 = new QPushButton(QStringLiteral("終了"), this);
    m_Command1->setObjectName(QStringLiteral("Command1"));
    place(m_Command1, {2280, 780, 615, 255});

    m_chkAl = new QCheckBox(QStringLiteral("アラーム ＯＮ"), this);
    m_chkAl->setObjectName(QStringLiteral("chkAl"));
    place(m_chkAl, {1920, 180, 1335, 180});

    // A press on a control, the date label included, belongs to it and must
    // never open the settings dialog from the window's background.
    for (QWidget* control : {static_cast<QWidget*>(m_txtTimeWd), static_cast<QWidget*>(m_lblDateWd),
                             static_cast<QWidget*>(m_cmdIni), static_cast<QWidget*>(m_Command1),
                             static_cast<QWidget*>(m_chkAl)})
        control->setAttribute(Qt::WA_NoMousePropagation);

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(QStringLiteral("Timer1"));
    m_Timer1->setInterval(kTickInterval);
    // A coarse timer may fire up to 5 % late, so a new minute would show later
    // than one tick after it began; a precise one costs no extra wake-ups.
    m_Timer1->setTimerType(Qt::PreciseTimer);
}

void frmMain::connectSignals()
{
    connect(m_Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(m_chkAl, &QCheckBox::clicked, this, [this] { chkAl_Click(); });
    connect(m_cmdIni, &QPushButton::clicked, this, [this] { cmdIni_Click(); });
    connect(m_Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

template <typename Handler> void frmMain::guarded(Handler&& handler)
{
    if (m_failed)
        return;
    try {
        handler();
    } catch (const std::bad_alloc&) {
        fail(platform::kOutOfMemory);
    } catch (const std::exception& failure) {
        fail(failure.what());
    }
}

void frmMain::fail(std::string_view description)
{
    m_failed = true;
    m_Timer1->stop();
    m_platform.messages.show(description, platform::MessageIcon::Critical);
    // The program ends as it stands: no settings are saved.
    for (QWidget* window : {static_cast<QWidget*>(m_ini.get()), static_cast<QWidget*>(m_mci.get())}) {
        if (window)
            window->hide();
    }
    hide();
    QCoreApplication::exit(EXIT_FAILURE);
}

void frmMain::Form_Load()
{
    const QSignalBlocker noTicks(m_Timer1);  // the notice of a first start may stay open a while
    settings::readIni(m_state, {m_platform.files, m_platform.programDir, m_platform.messages});
    showTime();
}

void frmMain::showTime()
{
    if (m_busy) {
        // An earlier run waits in a message box: the face still shows the
        // time, but no second alarm decision starts and no second box stacks.
        zentick::showZoneTime(m_state, m_devices);
        m_aftermath.ticked();
        return;
    }
    const QScopedValueRollback busy(m_busy, true);
    // Before the decision, so the sounds of the tune that this very tick may
    // call for are already on their way.
    holdTuneSounds();
    const platform::Uptime uptime = m_platform.sleep.uptime();
    const platform::LocalDateTime now = m_platform.clock.now();
    const AlarmAction action = zentick::showTime(m_state, m_devices, now);
    m_aftermath.decided(action, now, uptime);
}

void frmMain::TuneFailureMessages::show(std::string_view text, platform::MessageIcon icon)
{
    const QScopedValueRollback busy(m_main.m_busy, true);
    m_main.m_aftermath.tuneFailing();
    m_main.m_platform.messages.show(text, icon);
    m_main.m_aftermath.tuneFailureAnswered();
}

void frmMain::TuneFailureMessages::notify(std::string_view text)
{
    m_main.m_platform.messages.notify(text);
}

void frmMain::holdTuneSounds()
{
    const bool tuneArmed = alarmChecked() && soundsTune(m_state.buzzer);
    if (tuneArmed)
        m_platform.midi.prepare(tuneFile());
    else if (!m_mci || !m_mci->isVisible())
        m_platform.midi.release();
}

std::filesystem::path frmMain::tuneFile() const
{
    return platform::inProgramDir(m_platform.programDir.path(), kTuneFileName);
}

void frmMain::rearm()
{
    m_state.alarmDone = kAlarmArmed;
    m_aftermath.rearmed();
}

void frmMain::Timer1_Timer()
{
    guarded([this] { showTime(); });
}

void frmMain::computerWoke()
{
    if (!m_Timer1->isActive())
        return;  // closed, or ended by a failure
    m_aftermath.computerWoke();
    m_Timer1->start();  // the next tick a whole interval from now
    Timer1_Timer();
}

void frmMain::chkAl_Click()
{
    rearm();
    if (m_state.buzzer == kTune && !m_chkAl->isChecked())
        closeIfOpen(m_mci.get());
    holdTuneSounds();
    m_aftermath.planWakeUp(m_platform.clock.now());
}

void frmMain::cmdIni_Click()
{
    if (!m_ini || !m_ini->isVisible()) {
        m_ini = std::make_unique<frmIni>(m_state, m_platform.messages, [this] {
            guarded([this] {
                rearm();
                showTime();
            });
        });
    }
    m_ini->show();
    m_ini->raise();
    m_ini->activateWindow();
}

void frmMain::Form_MouseDown(int button)
{
    if (button == 2)
        cmdIni_Click();
}

void frmMain::Command1_Click()
{
    close();
}

void frmMain::Form_Unload()
{
    m_aftermath.ended();
    settings::saveIni(m_state, {m_platform.files, m_platform.programDir, m_platform.messages});
    closeIfOpen(m_ini.get());
    closeIfOpen(m_mci.get());
}

void frmMain::mousePressEvent(QMouseEvent* event)
{
    Form_MouseDown(buttonCode(event->button()));
}

void frmMain::closeEvent(QCloseEvent* event)
{
    m_Timer1->stop();  // the clock stops with its window, even while a save failure is shown
    guarded([this] { Form_Unload(); });
    event->accept();
}

// Screen readers hear what the date shows and what it is; the name changes
// once a day.
void frmMain::setDateText(std::string_view text)
{
    const QString date = qs(text);
    if (date == m_lblDateWd->text())
        return;
    m_lblDateWd->setText(date);
    m_lblDateWd->setAccessibleName(QStringLiteral("日付 %1").arg(date));
}

void frmMain::setTimeText(std::string_view text)
{
    const QString time = qs(text);
    if (time == m_txtTimeWd->text())
        return;
    m_txtTimeWd->setText(time);
}

bool frmMain::alarmChecked() const
{
    return m_chkAl->isChecked();
}

std::optional<std::string> frmMain::showMidiAlarm()
{
    if (m_mci && m_mci->isVisible()) {
        m_mci->raise();  // the tune plays on; it is never restarted
        return std::nullopt;
    }
    m_mci.reset();  // a closed window from an earlier alarm
    auto window = std::make_unique<frmMci>(m_platform.midi, m_tuneMessages, tuneFile());
    connect(window.get(), &frmMci::loadFailed, this, [this] {
        // As inside the alarm decision: a tick while the box is open shows the time only.
        const QScopedValueRollback busy(m_busy, true);
        guarded([this] { midiAlarmFailed(m_state, m_devices); });
    });
    connect(window.get(), &frmMci::closed, this, [this] { m_aftermath.tuneClosed(); });
    if (!window->Form_Load())
        return std::string(kMidiAlarmClosedWhileLoading);
    window->show();
    m_mci = std::move(window);
    return std::nullopt;
}

}  // namespace zentick::ui
