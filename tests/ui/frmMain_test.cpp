#include "ui_fixture.h"

#include "platform/qt/qt_platform.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

namespace zentick::ui::test {
namespace {

using platform::MessageIcon;

TEST_F(MainWindowTest, FirstStartCreatesTheSettingsAndShowsTheZoneTimeBeforeTheWindowAppears)
{
    messages.onShow = [&](const Message&) { EXPECT_EQ(main, nullptr) << "the notice comes while loading"; };
    main = std::make_unique<frmMain>(state, platform);
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(messages.shown, (std::vector<Message>{{"設定ﾌｧｲﾙを作成します", MessageIcon::None}}));
    EXPECT_EQ(files.files[ini()], "5,0,#07:00:00#,2\r\n");
    EXPECT_EQ(timeText(), "12:00");
    EXPECT_EQ(control<QLabel>("lblDateWd")->text(), "Dec 8, Tue");
    EXPECT_EQ(main->windowTitle(), "ぽるたんの世界時計");
    EXPECT_EQ(control<QTimer>("Timer1")->interval(), 3000);
    EXPECT_TRUE(control<QTimer>("Timer1")->isActive());
    EXPECT_EQ(control<QTimer>("Timer1")->timerType(), Qt::PreciseTimer) << "a coarse timer shows a new minute late";
}

TEST_F(MainWindowTest, AMinuteChangeShowsOnTheNextTick)
{
    writeSettings("0,0,#07:00:00#,2\r\n");
    start();
    clock.time = local(2026, 12, 8, 19, 59, 59);
    tick();
    EXPECT_EQ(timeText(), "23:59");
    clock.time = local(2026, 12, 8, 20, 0, 0);
    tick();
    EXPECT_EQ(timeText(), "0:00");
    EXPECT_EQ(control<QLabel>("lblDateWd")->text(), "Dec 9, Wed");

    // Typing into the time box changes nothing a tick would throw away.
    QTest::keyClicks(control<QLineEdit>("txtTimeWd"), "12");
    EXPECT_EQ(timeText(), "0:00");
}

TEST_F(MainWindowTest, OnlyARightClickOnTheBareBackgroundOpensTheSettings)
{
    writeSettings("5,0,#07:00:00#,2\r\n");
    start();
    struct Case {
        const char* name;
        const char* control;  // nullptr: the window's background
        Qt::MouseButton button;
        bool opens;
    } const cases[] = {
        {"left on the background", nullptr, Qt::LeftButton, false},
        {"middle on the background", nullptr, Qt::MiddleButton, false},
        {"right on the date label", "lblDateWd", Qt::RightButton, false},
        {"right on the time box", "txtTimeWd", Qt::RightButton, false},
        {"right on the alarm box", "chkAl", Qt::RightButton, false},
        {"right on the exit button", "Command1", Qt::RightButton, false},
        {"right on the settings button", "cmdIni", Qt::RightButton, false},
        {"right on the background", nullptr, Qt::RightButton, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.control)
            click(control<QWidget>(c.control), c.button);
        else
            click(main.get(), c.button, QPoint(3, main->height() - 3));
        EXPECT_EQ(main->settingsDialog() != nullptr && main->settingsDialog()->isVisible(), c.opens);
    }
    EXPECT_TRUE(main->isVisible()) << "no click closed the clock";
}

TEST_F(MainWindowTest, TheSettingsButtonBringsAnOpenDialogForwardWithItsEntries)
{
    writeSettings("5,0,#07:00:00#,2\r\n");
    start();
    click(control<QPushButton>("cmdIni"));
    frmIni* dialog = main->settingsDialog();
    ASSERT_NE(dialog, nullptr);
    control<QLineEdit>(dialog, "txtAlHr")->setText("9");
    click(control<QPushButton>("cmdIni"));
    EXPECT_EQ(main->settingsDialog(), dialog);
    EXPECT_EQ(control<QLineEdit>(dialog, "txtAlHr")->text(), "9");
    dialog->close();
}

TEST_F(MainWindowTest, ClosingSavesFirstThenClosesTheOtherWindows)
{
    writeSettings("5,0,#07:00:00#,2\r\n");
    start();
    click(control<QPushButton>("cmdIni"));
    state.alarmTime = buildTime(12, 0, 0);
    checkAlarm(true);
    tick();
    ASSERT_NE(main->midiAlarmWindow(), nullptr);
    ASSERT_TRUE(main->midiAlarmWindow()->isVisible());
    state.area = 12;

    bool dialogOpenWhileSaving = false;
    bool tuneOpenWhileSaving = false;
    files.onReplace = [&] {
        dialogOpenWhileSaving = main->settingsDialog()->isVisible();
        tuneOpenWhileSaving = midi.isOpen();
    };
    click(control<QPushButton>("Command1"));
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(dialogOpenWhileSaving);
    EXPECT_TRUE(tuneOpenWhileSaving);
    EXPECT_EQ(files.files[ini()], "12,0,#12:00:00#,2\r\n");
    EXPECT_FALSE(main->settingsDialog()->isVisible());
    EXPECT_FALSE(main->midiAlarmWindow()->isVisible());
    EXPECT_FALSE(midi.isOpen());
}

TEST_F(MainWindowTest, TheCloseControlSavesLikeTheExitButtonAndARestartStartsUnchecked)
{
    writeSettings("5,0,#07:00:00#,0\r\n");
    start();
    checkAlarm(true);
    state.summer = 1;
    main->close();
    EXPECT_EQ(files.files[ini()], "5,1,#07:00:00#,0\r\n");

    ClockState restarted;
    frmMain again(restarted, platform);
    EXPECT_FALSE(control<QCheckBox>(&again, "chkAl")->isChecked());
    EXPECT_EQ(restarted.summer, 1);
    EXPECT_EQ(restarted.alarmDone, 0);
}

TEST_F(MainWindowTest, TheAlarmBoxReArmsAndInMidiModeSilencesTheTune)
{
    struct Case {
        const char* name;
        std::int16_t buzzer;
        bool windowClosesWhenUnchecked;
    } const cases[] = {
        {"single beep", 0, false},
        {"burst", 1, false},
        {"MIDI", 2, true},
        {"a hand-edited MIDI value", 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings("5,0,#12:00:00#," + std::to_string(c.buzzer) + "\r\n");
        start();
        // Open the tune window from the alarm, whatever the mode, so its fate can be seen.
        state.buzzer = 2;
        checkAlarm(true);
        tick();
        ASSERT_TRUE(main->midiAlarmWindow()->isVisible());
        state.buzzer = c.buzzer;
        state.alarmDone = 1;
        checkAlarm(false);
        EXPECT_EQ(state.alarmDone, 0);
        EXPECT_EQ(!main->midiAlarmWindow()->isVisible(), c.windowClosesWhenUnchecked);
        state.alarmDone = 1;
        checkAlarm(true);
        EXPECT_EQ(state.alarmDone, 0) << "switching on re-arms too";
        main->midiAlarmWindow()->close();
        main->close();
    }
}

TEST_F(MainWindowTest, ReArmingSilencesTheBellsAtOnce)
{
    writeSettings("5,0,#12:00:00#,1\r\n");
    start();
    checkAlarm(true);
    tick();
    EXPECT_EQ(beeper.beeps, 201);
    EXPECT_EQ(beeper.silenced, 1) << "the click that armed it";
    checkAlarm(false);
    EXPECT_EQ(beeper.silenced, 2) << "switched off";

    checkAlarm(true);
    tick();
    click(control<QPushButton>("cmdIni"));
    click(main->settingsDialog()->findChild<QPushButton*>("cmdOk"));
    EXPECT_EQ(beeper.silenced, 4) << "OK in the settings re-arms";
    EXPECT_EQ(beeper.beeps, 201 * 3) << "and the alarm minute sounds again at once";
}

TEST_F(MainWindowTest, AnAlarmRingingUnheardTellsTheUserWhyOnceAnAlarm)
{
    for (const int buzzer : {0, 1}) {
        SCOPED_TRACE(buzzer);
        writeSettings("5,0,#12:00:00#," + std::to_string(buzzer) + "\r\n");
        start();
        beeper.unheard = "サウンドサーバーにつながりません";
        messages.notes.clear();
        tick();
        EXPECT_TRUE(messages.notes.empty()) << "told before any alarm";
        checkAlarm(true);
        tick();
        tick();
        ASSERT_EQ(messages.notes.size(), 1u);
        EXPECT_TRUE(messages.notes[0].ends_with("サウンドサーバーにつながりません")) << messages.notes[0];
        EXPECT_TRUE(messages.shown.empty()) << "nothing waits for the user";
        checkAlarm(false);
        checkAlarm(true);
        tick();
        EXPECT_EQ(messages.notes.size(), 2u) << "the alarm re-armed rings unheard again";
        main->close();
    }
}

TEST_F(MainWindowTest, TheDesktopsNoticeOfTheAlarmStaysUntilTheUserAnswers)
{
    enum class Answer { AlarmBoxOff, SettingsOk, TuneWindowClosed, ClockClosed, OkOnTheFailure };
    struct Case {
        const char* name;
        std::int16_t buzzer;
        const char* refuse;  // what the tune player refuses
        Answer answer;
        std::vector<bool> holds;  // on sleep, until answered: only while something sounds
    } const cases[] = {
        {"one beep, the alarm box off", 0, "", Answer::AlarmBoxOff, {}},
        {"a burst, the alarm box off", 1, "", Answer::AlarmBoxOff, {true}},
        {"a burst, OK in the settings after the alarm minute", 1, "", Answer::SettingsOk, {true}},
        {"the tune, its window closed", 2, "", Answer::TuneWindowClosed, {true}},
        {"a burst, the clock closed", 1, "", Answer::ClockClosed, {true}},
        {"one beep, the clock closed", 0, "", Answer::ClockClosed, {}},
        {"a tune that cannot open: bells while its failure is shown", 2, "open", Answer::OkOnTheFailure, {true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notice = {};
        sleep.holds.clear();
        midi.refuse = c.refuse;
        clock.time = local(2026, 12, 8, 12, 0);
        writeSettings("5,0,#12:00:00#," + std::to_string(c.buzzer) + "\r\n");
        start();
        checkAlarm(true);
        tick();
        // A burst rings on, a failed tune is tried again: the notice stays one.
        if (c.answer != Answer::OkOnTheFailure)
            tick();
        ASSERT_EQ(notice.shown, std::vector<std::string>{"アラームの時刻 12:00 になりました。"});
        // The fake message box is answered the moment it shows.
        EXPECT_EQ(notice.withdrawn, c.answer == Answer::OkOnTheFailure ? 1 : 0);
        EXPECT_EQ(sleep.holds, c.holds);
        clock.time = local(2026, 12, 8, 12, 1);
        switch (c.answer) {
        case Answer::AlarmBoxOff:
            checkAlarm(false);
            break;
        case Answer::SettingsOk:
            click(control<QPushButton>("cmdIni"));
            click(main->settingsDialog()->findChild<QPushButton*>("cmdOk"));
            break;
        case Answer::TuneWindowClosed:
            main->midiAlarmWindow()->close();
            break;
        case Answer::ClockClosed:
            main->close();
            break;
        case Answer::OkOnTheFailure:
            break;
        }
        EXPECT_EQ(notice.withdrawn, 1);
        EXPECT_FALSE(sleep.held()) << "answered: the computer may sleep";
        main->close();
        EXPECT_EQ(notice.withdrawn, 1) << "nothing left to take away";
    }
}

TEST_F(MainWindowTest, AnAlarmSleptThroughSoundsOnWakingOrIsToldWhyNot)
{
    using namespace std::chrono_literals;
    // The alarm box checked at 6:59:50, the alarm at 7:00; then the gap.
    struct Case {
        const char* name;
        std::int16_t buzzer;
        int hour, minute;         // when the clock runs again
        platform::Uptime passed;  // as the system's clocks saw the gap
        bool logindSaid;          // logind's word came: the tick runs at once
        int beeps;
        bool tune;
        const char* told;  // the note and the desktop's notice
    } const cases[] = {
        {"3 minutes asleep, one beep", 0, 7, 2, {0ms, 3min}, true, 1, false, nullptr},
        {"3 minutes asleep, the tune", 2, 7, 2, {0ms, 3min}, true, 0, true, nullptr},
        {"40 minutes asleep", 0, 7, 39, {0ms, 40min}, true, 0, false,
         "コンピューターがスリープしていたため、アラームの時刻 7:00 に鳴らせませんでした。"},
        {"40 minutes asleep, a burst: told, and silent", 1, 7, 39, {0ms, 40min}, true, 0, false,
         "コンピューターがスリープしていたため、アラームの時刻 7:00 に鳴らせませんでした。"},
        {"40 minutes asleep without logind: the boot clock tells", 2, 7, 39, {0ms, 40min}, false, 0, false,
         "コンピューターがスリープしていたため、アラームの時刻 7:00 に鳴らせませんでした。"},
        {"the computer's clock set 40 minutes forward", 0, 7, 39, {3s, 0ms}, false, 0, false,
         "コンピューターの時計が進められたため、アラームの時刻 7:00 に鳴らせませんでした。"},
        {"the clock stopped for 40 minutes", 0, 7, 39, {40min, 0ms}, false, 0, false,
         "この時計が止まっていたため、アラームの時刻 7:00 に鳴らせませんでした。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        beeper.beeps = 0;
        messages.notes.clear();
        notice = {};
        writeSettings("5,0,#07:00:00#," + std::to_string(c.buzzer) + "\r\n");
        clock.time = local(2026, 12, 8, 6, 59, 50);
        start();
        checkAlarm(true);
        sleep.now = {1h, 10min};
        tick();

        clock.time = local(2026, 12, 8, c.hour, c.minute, 0);
        sleep.now = {sleep.now.awake + c.passed.awake, sleep.now.asleep + c.passed.asleep};
        if (c.logindSaid) {
            sleep.wake();
            EXPECT_GT(control<QTimer>("Timer1")->remainingTime(), 2000) << "the next tick a whole interval on";
        } else {
            tick();
        }
        EXPECT_EQ(timeText(), QStringLiteral("7:%1").arg(c.minute, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(beeper.beeps, c.beeps);
        EXPECT_EQ(main->midiAlarmWindow() != nullptr && main->midiAlarmWindow()->isVisible(), c.tune);
        if (c.told) {
            EXPECT_EQ(messages.notes, std::vector<std::string>{c.told});
            EXPECT_EQ(notice.shown, std::vector<std::string>{c.told});
        } else {
            EXPECT_TRUE(messages.notes.empty());
            EXPECT_EQ(notice.shown, std::vector<std::string>{"アラームの時刻 7:00 になりました。"});
        }
        tick();
        EXPECT_EQ(messages.notes.size(), c.told ? 1u : 0u) << "told once";
        EXPECT_EQ(beeper.beeps, c.beeps) << "a missed alarm stays silent";
        EXPECT_EQ(sleep.held(), c.tune) << "awake only while the alarm sounds";
        if (main->midiAlarmWindow())
            main->midiAlarmWindow()->close();
        main->close();
    }
}

TEST_F(MainWindowTest, OneWakeUpIsPlannedForTheNextTimeTheAlarmWillSound)
{
    using Plans = std::vector<std::optional<std::int64_t>>;
    const auto at = [](int day, int hour) { return std::optional(local(2026, 12, day, hour, 0).unixTime); };
    writeSettings("5,0,#07:00:00#,0\r\n");
    clock.time = local(2026, 12, 8, 6, 30);
    start();
    EXPECT_TRUE(wakeUp.plans.empty()) << "the box starts off";

    checkAlarm(true);
    tick();
    EXPECT_EQ(wakeUp.plans, Plans{at(8, 7)}) << "one, however many ticks";
    sleep.wake();
    EXPECT_EQ(wakeUp.plans, (Plans{at(8, 7), at(8, 7)})) << "planned anew after a wake";

    clock.time = local(2026, 12, 8, 7, 0, 2);
    tick();
    ASSERT_EQ(beeper.beeps, 1);
    EXPECT_EQ(wakeUp.plans.back(), std::nullopt) << "one beep given: none until re-armed";
    checkAlarm(false);
    checkAlarm(true);
    EXPECT_EQ(wakeUp.plans.back(), at(9, 7)) << "re-armed: tomorrow's";

    click(control<QPushButton>("cmdIni"));
    control<QLineEdit>(main->settingsDialog(), "txtAlHr")->setText("8");
    click(control<QPushButton>(main->settingsDialog(), "cmdOk"));
    EXPECT_EQ(wakeUp.plans.back(), at(8, 8)) << "a new alarm time";
    const auto planned = wakeUp.plans.size();
    checkAlarm(false);
    EXPECT_EQ(wakeUp.plans.back(), std::nullopt) << "the box off";
    sleep.wake();
    main->close();
    EXPECT_EQ(wakeUp.plans.size(), planned + 1) << "nothing planned, nothing to take back";

    start();
    checkAlarm(true);
    main->close();
    EXPECT_EQ(wakeUp.plans.back(), std::nullopt) << "taken back when the clock ends";
}

TEST_F(MainWindowTest, ATickWhileAMessageIsOpenShowsTheTimeAndDecidesNothing)
{
    writeSettings("5,0,#12:00:00#,2\r\n");
    start();
    midi.refuse = "open";
    checkAlarm(true);
    QString shownInsideBox;
    messages.onShow = [&](const Message&) {
        clock.time = local(2026, 12, 8, 12, 2);
        tick();
        shownInsideBox = timeText();
    };
    tick();
    EXPECT_EQ(shownInsideBox, "12:02") << "the face froze while a box was open";
    EXPECT_EQ(midi.steps.size(), 3u) << "a tick inside the box ran the alarm again";
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], (Message{"曲のファイルが見つかりません", MessageIcon::Critical}));
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::Critical);
    EXPECT_TRUE(messages.shown[1].text.ends_with("(in ringAlarm)")) << messages.shown[1].text;
}

TEST_F(MainWindowTest, AFailureNothingHandlesEndsTheProgramWithAMessage)
{
    writeSettings("5,0,#07:00:00#,2\r\n");
    start();
    state.area = INT16_MIN;  // no file can bring it; only a fault could put it here
    tick();
    EXPECT_TRUE(main->failed());
    EXPECT_FALSE(main->isVisible());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);
    EXPECT_NE(messages.shown[0].text.find("オーバーフロー"), std::string::npos);
    main->close();
    EXPECT_EQ(files.replaces, 0) << "a failed program saves nothing";
}

// The note of an alarm unheard, as the desktop gets it: over the clock's
// window, which the user may not be looking at, as its transient.
TEST(DesktopMessages, ANoteStandsOverTheWindowItConcerns)
{
    QWidget clock;
    clock.show();
    platform::QtMessageBox messages;
    messages.notify("アラームの音が出ません");
    QMessageBox* note = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window))
            note = box;
    }
    ASSERT_NE(note, nullptr);
    ASSERT_NE(note->windowHandle(), nullptr);
    EXPECT_EQ(note->windowHandle()->transientParent(), clock.windowHandle());
}

}  // namespace
}  // namespace zentick::ui::test
