#include "ui_fixture.h"

namespace zentick::ui::test {
namespace {

using platform::MessageIcon;

// The alarm at 12:00 in MIDI mode, the local clock at the alarm minute.
class MidiAlarmTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        writeSettings("5,0,#12:00:00#,2\r\n");
        start();
        checkAlarm(true);
    }
};

TEST_F(MidiAlarmTest, TheAlarmMinuteOpensTheWindowOnceAndPlaysTheTuneOnce)
{
    tick();
    tick();
    frmMci* window = main->midiAlarmWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "時間ですよ！");
    EXPECT_EQ(midi.steps, (std::vector<std::string>{"type Sequencer", "file", "open", "play"}));
    EXPECT_EQ(midi.file.string(), "/opt/zentick/Zentick.mid");
    EXPECT_TRUE(messages.shown.empty());

    // Re-armed while the window is still open: no second tune.
    state.buzzer = 3;  // unchecking in a mode other than exactly 2 leaves the window
    checkAlarm(false);
    checkAlarm(true);
    tick();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(std::count(midi.steps.begin(), midi.steps.end(), "play"), 1);

    window->close();
    EXPECT_EQ(midi.steps.back(), "close");
    EXPECT_FALSE(midi.isOpen());
}

TEST_F(MidiAlarmTest, AMissingTuneIsReportedTwiceAndTriedAgainOnTheNextTick)
{
    midi.refuse = "open";
    tick();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], (Message{"曲のファイルが見つかりません", MessageIcon::Critical}));
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::Critical);
    EXPECT_TRUE(messages.shown[1].text.ends_with("(in ringAlarm)"));
    EXPECT_EQ(std::count(midi.steps.begin(), midi.steps.end(), "close"), 0) << "nothing was open";
    EXPECT_TRUE(main->midiAlarmWindow() == nullptr || !main->midiAlarmWindow()->isVisible());
    EXPECT_EQ(state.alarmDone, 0);

    tick();
    EXPECT_EQ(messages.shown.size(), 4u);
    EXPECT_EQ(std::count(midi.steps.begin(), midi.steps.end(), "open"), 2);

    clock.time = local(2026, 12, 8, 12, 1);
    tick();
    EXPECT_EQ(messages.shown.size(), 4u) << "once the minute has passed, nothing more";
}

TEST_F(MidiAlarmTest, SoundsThatFailAfterTheWindowOpenedAreReportedOnceAndCloseIt)
{
    midi.laterFailure = "音色ファイル (SoundFont) の読み込みが終わりません: /slow/Zentick.sf2";
    tick();
    frmMci* window = main->midiAlarmWindow();
    ASSERT_NE(window, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 2000);
    ASSERT_EQ(messages.shown.size(), 1u) << "no \"(in ringAlarm)\": the alarm itself had started";
    EXPECT_EQ(messages.shown[0],
              (Message{"音色ファイル (SoundFont) の読み込みが終わりません: /slow/Zentick.sf2", MessageIcon::Critical}));
    EXPECT_FALSE(midi.isOpen());
}

// However the tune fails at the alarm, bells ring from the moment the user
// is told until the user answers; the messages stay as they were.
TEST_F(MidiAlarmTest, BellsRingInPlaceOfATuneThatCannotSoundUntilTheUserAnswers)
{
    const struct {
        const char* name;
        std::string refuse;
        bool answersLater;
        std::string laterFailure;
        bool armedAgain;  // the window failed to load: "(in ringAlarm)" follows
    } cases[] = {
        {"refused at once", "open", false, "", true},
        {"refused by a player that answers later", "open", true, "", true},
        {"play refused later", "play", true, "", true},
        {"heard no more mid-tune", "", false, "音を出す装置（オーディオ出力）が止まり、曲が聞こえなくなりました", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        midi = FakeMidiPlayer{};
        midi.refuse = c.refuse;
        midi.answersLater = c.answersLater;
        midi.laterFailure = c.laterFailure;
        messages.shown.clear();
        state.alarmDone = 0;
        beeper.beeps = 0;
        std::vector<std::pair<int, int>> bells;  // beeps and silences as each box opened, then after a tick in it
        messages.onShow = [&](const Message&) {
            bells.emplace_back(beeper.beeps, beeper.silenced);
            tick();
            bells.emplace_back(beeper.beeps, beeper.silenced);
        };
        tick();
        const auto tuneShown = [&] { return main->midiAlarmWindow() && main->midiAlarmWindow()->isVisible(); };
        QTRY_VERIFY_WITH_TIMEOUT(!messages.shown.empty() && !tuneShown(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(messages.shown.size(), c.armedAgain ? 2u : 1u, 2000);
        EXPECT_EQ(state.alarmDone, c.armedAgain ? 0 : 1);
        ASSERT_EQ(bells.size(), 2 * messages.shown.size());
        EXPECT_GE(bells[0].first, kBurstBeeps) << "no bells as the failure was shown";
        EXPECT_GE(bells[1].first, bells[0].first + kBurstBeeps) << "the bells stopped while the failure was unanswered";
        if (c.armedAgain) {
            EXPECT_GT(bells[2].second, bells[1].second) << "the bells were not silenced when the user answered";
            EXPECT_EQ(bells[3].first, bells[2].first) << "bells after the user answered";
        }
        messages.onShow = nullptr;
    }
}

TEST_F(MidiAlarmTest, TheSoundsAreHeldOnlyWhileATuneMayBeWanted)
{
    EXPECT_TRUE(midi.holdsSounds) << "armed in MIDI mode";
    EXPECT_EQ(midi.prepared, "/opt/zentick/Zentick.mid") << "for the tune beside the program";
    checkAlarm(false);
    EXPECT_FALSE(midi.holdsSounds) << "switched off";
    checkAlarm(true);
    EXPECT_TRUE(midi.holdsSounds) << "armed again, before any tick";

    tick();  // the alarm minute: the tune's window opens
    checkAlarm(false);
    EXPECT_FALSE(midi.holdsSounds) << "the window closed with the alarm box";

    state.buzzer = 0;
    checkAlarm(true);
    tick();
    EXPECT_FALSE(midi.holdsSounds) << "a beep mode needs no tune";
}

TEST_F(MidiAlarmTest, AFailureToPlayClosesTheOpenDevice)
{
    midi.refuse = "play";
    tick();
    EXPECT_EQ(midi.steps, (std::vector<std::string>{"type Sequencer", "file", "open", "play", "close"}));
    EXPECT_FALSE(midi.isOpen());
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(MidiAlarmTest, ADeviceLeftOpenIsClosedBeforeTheTuneOpens)
{
    midi.open_ = true;
    tick();
    EXPECT_EQ(midi.steps, (std::vector<std::string>{"type Sequencer", "close", "file", "open", "play"}));
    main->midiAlarmWindow()->close();
}

TEST_F(MidiAlarmTest, EveryWayOfClosingStopsTheTune)
{
    struct Case {
        const char* name;
        std::function<void()> closeIt;
    } const cases[] = {
        {"the user closes it", [&] { main->midiAlarmWindow()->close(); }},
        {"the alarm box is switched off", [&] { checkAlarm(false); }},
        {"the main window closes", [&] { main->close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!main->isVisible())
            start();
        checkAlarm(true);
        state.alarmDone = 0;
        tick();
        ASSERT_TRUE(midi.playing) << ::testing::PrintToString(midi.steps);
        c.closeIt();
        EXPECT_FALSE(midi.isOpen());
        EXPECT_FALSE(main->midiAlarmWindow()->isVisible());
    }
}

}  // namespace
}  // namespace zentick::ui::test
