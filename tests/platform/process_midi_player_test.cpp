#include "platform/qt/process_midi_player.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <sys/types.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using zentick::platform::MidiError;
using zentick::platform::MidiState;
using zentick::platform::ProcessMidiPlayer;

constexpr auto kTestPatience = 400ms;

ProcessMidiPlayer stubPlayer(const QString& refuse = {})
{
    return ProcessMidiPlayer(QStringLiteral(ZENTICK_MIDI_HELPER_STUB), refuse.isEmpty() ? QStringList{} : QStringList{refuse},
                             kTestPatience);
}

bool processGone(qint64 id)
{
    // A helper that was waited for is gone from the process table.
    return id > 0 && ::kill(static_cast<pid_t>(id), 0) != 0;
}

std::string refusalOf(ProcessMidiPlayer& player)
{
    try {
        player.open();
    } catch (const MidiError& refusal) {
        return refusal.what();
    }
    return "(opened)";
}

TEST(ProcessMidiPlayer, PlaysThroughTheHelperAndLetsItGoOnRelease)
{
    auto player = stubPlayer();
    EXPECT_EQ(player.helperId(), 0) << "a helper before any tune was wanted";
    player.prepare();
    const qint64 helper = player.helperId();
    ASSERT_GT(helper, 0);

    player.setDeviceType("Sequencer");
    player.setFileName("/曲/alarm.mid");
    player.open();
    player.play();
    EXPECT_TRUE(player.isOpen());
    EXPECT_EQ(player.poll(), MidiState::Playing);
    player.release();  // an open device keeps its helper
    EXPECT_EQ(player.helperId(), helper);

    player.close();
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.poll(), MidiState::Closed);
    player.release();
    EXPECT_EQ(player.helperId(), 0);
    EXPECT_TRUE(processGone(helper));
}

TEST(ProcessMidiPlayer, ARefusalIsTheHelpersOwnWordsAndKeepsIt)
{
    auto player = stubPlayer(QStringLiteral("open"));
    EXPECT_EQ(refusalOf(player), "曲のファイルが見つかりません");
    EXPECT_FALSE(player.isOpen());
    EXPECT_GT(player.helperId(), 0) << "a refused step is no broken helper";
}

// Helpers that go wrong: each costs the tune with a message, never the clock.
TEST(ProcessMidiPlayer, AHelperThatGoesWrongFailsTheStepAndIsEnded)
{
    const struct {
        const char* what;
        QString program;
        QStringList arguments;
        std::string message;
    } cases[] = {
        {"missing", QStringLiteral("/nonexistent/zentick"), {}, "曲を演奏するプログラムを起動できません: /nonexistent/zentick"},
        {"dies", QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read line; exit 3")},
         "曲を演奏するプロセスが終了しました。"},
        {"hangs", QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec sleep 60")},
         "曲を演奏するプロセスが応答しません。"},
        {"babbles", QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("while read line; do echo hello; done")},
         "曲を演奏するプロセスから読めない応答がありました。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessMidiPlayer player(c.program, c.arguments, kTestPatience);
        player.prepare();  // never throws: arming an alarm must not fail
        const qint64 helper = player.helperId();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(refusalOf(player), c.message);
        EXPECT_LT(std::chrono::steady_clock::now() - started, kTestPatience + 1500ms) << "the clock waited too long";
        EXPECT_FALSE(player.isOpen());
        EXPECT_EQ(player.helperId(), 0);
        if (helper > 0) {
            EXPECT_TRUE(processGone(helper)) << "the helper was left running";
        }
    }
}

TEST(ProcessMidiPlayer, AHelperThatEndsOnItsOwnIsNotStartedAgainEveryTick)
{
    // A helper that crashes as it loads, counting its starts.
    zentick::test::TempDir folder;
    const auto starts = folder.path() / "starts";
    ProcessMidiPlayer player(QStringLiteral("/bin/sh"),
                             {QStringLiteral("-c"), QStringLiteral("echo >> \"$0\"; exit 3"),
                              QString::fromStdString(starts.string())},
                             kTestPatience);
    const auto startCount = [&] {
        const std::string lines = zentick::test::readBytes(starts);
        return std::count(lines.begin(), lines.end(), '\n');
    };
    player.prepare();
    std::this_thread::sleep_for(200ms);
    for (int tick = 0; tick < 3; ++tick)
        player.prepare();
    EXPECT_EQ(startCount(), 1);

    EXPECT_EQ(refusalOf(player), "曲を演奏するプロセスが終了しました。") << "the alarm's tune tries again";
    EXPECT_EQ(startCount(), 2);
    player.release();
    player.prepare();  // armed anew
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(startCount(), 3);
}

TEST(ProcessMidiPlayer, AHelperKilledWhilePlayingIsReportedAndTheNextTuneStartsAnother)
{
    auto player = stubPlayer();
    player.open();
    player.play();
    const qint64 first = player.helperId();
    ASSERT_GT(first, 0);
    ::kill(static_cast<pid_t>(first), SIGKILL);
    std::this_thread::sleep_for(100ms);

    EXPECT_THROW(player.poll(), MidiError);
    EXPECT_FALSE(player.isOpen());
    player.close();  // what the tune's window does next: harmless

    player.open();
    EXPECT_EQ(player.poll(), MidiState::Stopped);
    EXPECT_NE(player.helperId(), first);
}

}  // namespace
