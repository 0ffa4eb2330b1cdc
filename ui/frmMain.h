#pragma once

#include "core/alarm.h"
#include "core/alarm_aftermath.h"
#include "core/clock_state.h"
#include "ui/window_services.h"

#include <QWidget>

#include <chrono>
#include <filesystem>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace zentick::ui {

class frmIni;
class frmMci;

// The clock face and the program's life: loading the settings, the tick,
// the alarm box, and saving when it closes.
class frmMain final : public QWidget, private ClockFace {
    Q_OBJECT

public:
    // The main window's caption, which is also the program's name on the desktop.
    static inline const QString kCaption = QStringLiteral("ぽるたんの世界時計");

    // The clock's tick: a change of the minute shows within this time.
    static constexpr std::chrono::milliseconds kTickInterval{3000};

    // Loads at once: reads the settings and shows the first zone time, so
    // the window is complete before it is first shown.
    frmMain(ClockState& state, const UiPlatform& platform);
    ~frmMain() override;

    // True once a failure has ended the program; main() then exits non-zero.
    bool failed() const { return m_failed; }

    frmIni* settingsDialog() const;
    frmMci* midiAlarmWindow() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectSignals();

    void Form_Load();
    void Timer1_Timer();
    void chkAl_Click();
    void cmdIni_Click();
    void Form_MouseDown(int button);
    void Command1_Click();
    void Form_Unload();

    // Every tick and every OK in the settings dialog. A run that falls due
    // while another is still inside a message box only shows the time.
    void showTime();
    // Silences the alarm's sound and runs the next decision afresh.
    void rearm();
    // Keeps the tune's sounds loaded exactly while a tune may be wanted.
    void holdTuneSounds();
    std::filesystem::path tuneFile() const;
    // The computer has woken: the tick runs at once.
    void computerWoke();
    // Runs a handler; a failure nothing else handled ends the program.
    template <typename Handler> void guarded(Handler&& handler);
    void fail(std::string_view description);

    void setDateText(std::string_view text) override;
    void setTimeText(std::string_view text) override;
    bool alarmChecked() const override;
    std::optional<std::string> showMidiAlarm() override;

    // The tune window's failures, shown with bells ringing until answered.
    class TuneFailureMessages final : public platform::MessageBox {
    public:
        explicit TuneFailureMessages(frmMain& main) : m_main(main) {}
        void show(std::string_view text, platform::MessageIcon icon) override;
        void notify(std::string_view text) override;

    private:
        frmMain& m_main;
    };

    ClockState& m_state;
    UiPlatform m_platform;
    ClockDevices m_devices;
    AlarmAftermath m_aftermath;
    TuneFailureMessages m_tuneMessages{*this};

    QLineEdit* m_txtTimeWd = nullptr;
    QLabel* m_lblDateWd = nullptr;
    QPushButton* m_cmdIni = nullptr;
    QPushButton* m_Command1 = nullptr;
    QCheckBox* m_chkAl = nullptr;
    QTimer* m_Timer1 = nullptr;

    std::unique_ptr<frmIni> m_ini;
    std::unique_ptr<frmMci> m_mci;
    bool m_busy = false;
    bool m_failed = false;
};

}  // namespace zentick::ui
