#include "platform/tune/process_midi_player.h"
#include "platform/file_system.h"
#include "platform/tune/wire.h"

#include "support/event_loop.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <sys/types.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using zentick::platform::MidiError;
using zentick::platform::MidiState;
namespace midi_wire = zentick::platform::midi_wire;
using zentick::platform::ProcessMidiPlayer;
using zentick::test::EventLoop;

// Long enough for a helper to start on a loaded machine, short enough for
// the cases that wait it out.
constexpr auto kTestPatience = 1500ms;

ProcessMidiPlayer stubPlayer(const QString& refuse = {})
{
    return ProcessMidiPlayer(QStringLiteral(ZENTICK_MIDI_HELPER_STUB), refuse.isEmpty() ? QStringList{} : QStringList{refuse},
                             kTestPatience);
}

// A tune file in a folder of the tests' own, named as a user may name
// folders: the clock reads it and hands its bytes to the helper.
const std::filesystem::path& aTune()
{
    static const zentick::test::TempDir folder;
    static const std::filesystem::path tune = [] {
        const auto file = folder.path() / std::filesystem::path(u8"曲") / "alarm.mid";
        std::filesystem::create_directories(file.parent_path());
        zentick::test::writeBytes(file, "MThd, or so the helper is told");
        return file;
    }();
    return tune;
}

bool processGone(qint64 id)
{
    // A helper that was waited for is gone from the process table.
    return id > 0 && ::kill(static_cast<pid_t>(id), 0) != 0;
}

// Opens and plays, then polls as the tune's window does until the player
// has something to say: its state, or its failure.
std::string outcome(ProcessMidiPlayer& player, EventLoop& loop, MidiState until = MidiState::Playing)
{
    std::string said = "(nothing within the time)";
    loop.step([&] {
        player.setDeviceType("Sequencer");
        player.setFileName(aTune());
        player.open();
        player.play();
    });
    loop.runUntil([&] {
        try {
            MidiState state = MidiState::Closed;
            loop.step([&] { state = player.poll(); });
            if (state != until)
                return false;
            said = "(reached)";
        } catch (const MidiError& failure) {
            said = failure.what();
        }
        return true;
    });
    return said;
}

TEST(ProcessMidiPlayer, PlaysThroughTheHelperAndLetsItGoOnRelease)
{
    EventLoop loop;
    auto player = stubPlayer();
    EXPECT_EQ(player.helperId(), 0) << "a helper before any tune was wanted";
    player.prepare("/opt/zentick/Zentick.mid");
    const qint64 helper = player.helperId();
    ASSERT_GT(helper, 0);

    EXPECT_EQ(outcome(player, loop), "(reached)");
    EXPECT_TRUE(player.isOpen());
    player.release();  // an open device keeps its helper
    EXPECT_EQ(player.helperId(), helper);

    player.close();
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.poll(), MidiState::Closed);
    player.release();
    EXPECT_TRUE(loop.runUntil([&] { return processGone(helper); })) << "the helper outlived its release";
    EXPECT_EQ(player.helperId(), 0);
    EXPECT_LT(loop.longestStallMs(), 250);
}

// Each costs the tune with a message, never the clock: the loop runs on
// while the helper goes wrong, and the helper is ended.
TEST(ProcessMidiPlayer, AHelperThatGoesWrongFailsTheTuneWithoutHoldingTheClock)
{
    const auto shell = [](const std::string& script) {
        return QStringList{QStringLiteral("-c"), QString::fromStdString(script)};
    };
    const std::string hello = midi_wire::greeting();
    const std::string olderHello = "zentick-tune-player " + std::to_string(midi_wire::kProtocolVersion - 1);
    const struct {
        const char* what;
        QString program;
        QStringList arguments;
        std::string message;
    } cases[] = {
        {"refuses", QStringLiteral(ZENTICK_MIDI_HELPER_STUB), {QStringLiteral("open")}, "曲のファイルが見つかりません"},
        {"missing", QStringLiteral("/nonexistent/zentick"), {}, "曲を演奏するプログラムを起動できません: /nonexistent/zentick"},
        {"dies", QStringLiteral("/bin/sh"), shell("exit 3"), "曲を演奏するプロセスが終了しました。"},
        {"hangs", QStringLiteral("/bin/sh"), shell("exec sleep 60"), "曲を演奏するプロセスが応答しません。"},
        {"stalls mid-answer", QStringLiteral("/bin/sh"), shell("printf '" + hello + "\\nok'; exec sleep 60"),
         "曲を演奏するプロセスが応答しません。"},
        {"babbles", QStringLiteral("/bin/sh"), shell("echo " + hello + "; while read line; do echo hello; done"),
         "曲を演奏するプロセスから読めない応答がありました。"},
        {"floods", QStringLiteral("/bin/sh"), shell("echo " + hello + "; exec yes ok"),
         "曲を演奏するプロセスから読めない応答がありました。"},
        {"floods one line", QStringLiteral("/bin/sh"), shell("echo " + hello + "; exec tr -d '\\n' < /dev/zero"),
         "曲を演奏するプロセスから読めない応答がありました。"},
        {"is another build", QStringLiteral("/bin/sh"), shell("echo " + olderHello + "; exec cat > /dev/null"),
         "曲を演奏するプログラムがこの時計と違う版です: /bin/sh"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EventLoop loop;
        ProcessMidiPlayer player(c.program, c.arguments, kTestPatience);
        // Never throws: arming an alarm must not fail.
        loop.step([&] { player.prepare("/opt/zentick/Zentick.mid"); });
        const qint64 helper = player.helperId();
        EXPECT_EQ(outcome(player, loop), c.message);
        EXPECT_FALSE(player.isOpen());
        std::printf("%-18s longest stall of the event loop: %lld ms\n", c.what, static_cast<long long>(loop.longestStallMs()));
        // Generous: a wait for the helper would stall for its whole patience.
        EXPECT_LT(loop.longestStallMs(), 250) << "the clock waited on the helper";
        if (helper > 0 && c.message != "曲のファイルが見つかりません") {
            EXPECT_TRUE(loop.runUntil([&] { return processGone(helper); })) << "the helper was left running";
        }
    }
}

TEST(ProcessMidiPlayer, TheClockReadsTheTuneAndTellsWhatItCannotRead)
{
    EventLoop loop;
    auto player = stubPlayer();
    const auto missing = aTune().parent_path() / "gone.mid";
    loop.step([&] { player.setFileName(missing); });
    std::string said;
    loop.step([&] {
        player.open();
        try {
            player.poll();
        } catch (const MidiError& failure) {
            said = failure.what();
        }
    });
    EXPECT_EQ(said, "曲のファイルが見つかりません: " + zentick::platform::utf8(missing));
    EXPECT_EQ(player.helperId(), 0) << "a helper was started for a tune that is not there";
}

TEST(ProcessMidiPlayer, AHelperThatEndsOnItsOwnIsNotStartedAgainEveryTick)
{
    // A helper that crashes as it loads, counting its starts.
    EventLoop loop;
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
    player.prepare("/opt/zentick/Zentick.mid");
    ASSERT_TRUE(loop.runUntil([&] { return startCount() == 1 && player.helperId() == 0; }));
    for (int tick = 0; tick < 3; ++tick) {
        player.prepare("/opt/zentick/Zentick.mid");
        loop.runUntil([] { return false; }, 50ms);
    }
    EXPECT_EQ(startCount(), 1);

    EXPECT_EQ(outcome(player, loop), "曲を演奏するプロセスが終了しました。") << "the alarm's tune tries again";
    EXPECT_EQ(startCount(), 2);
    player.release();
    player.prepare("/opt/zentick/Zentick.mid");  // armed anew
    EXPECT_TRUE(loop.runUntil([&] { return startCount() == 3; }));
}

TEST(ProcessMidiPlayer, AHelperKilledWhilePlayingIsReportedAndTheNextTuneStartsAnother)
{
    EventLoop loop;
    auto player = stubPlayer();
    ASSERT_EQ(outcome(player, loop), "(reached)");
    const qint64 first = player.helperId();
    ASSERT_GT(first, 0);
    ::kill(static_cast<pid_t>(first), SIGKILL);
    std::string failure;
    loop.runUntil([&] {
        try {
            player.poll();
        } catch (const MidiError& e) {
            failure = e.what();
        }
        return !failure.empty();
    });
    EXPECT_EQ(failure, "曲を演奏するプロセスが終了しました。");
    EXPECT_FALSE(player.isOpen());
    player.close();  // what the tune's window does next: harmless

    EXPECT_EQ(outcome(player, loop), "(reached)");
    EXPECT_NE(player.helperId(), first);
}

// The real helper told to go while a large compressed SoundFont is still
// loading, from the moment it starts to well into the load (about 2 s): it
// ends at once, with no crash and no core file.
TEST(TuneHelper, EndsCleanlyWhenToldToGoWhileASoundFontLoads)
{
    namespace fs = std::filesystem;
    const fs::path soundFont = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
    if (!fs::exists(soundFont))
        GTEST_SKIP() << "no large SoundFont: install musescore-general-soundfont-small";
    zentick::test::TempDir folder;
    const fs::path program = folder.path() / "zentick";
    fs::copy_file(ZENTICK_EXE, program);
    fs::create_symlink(soundFont, folder.path() / "Zentick.sf3");  // the first the helper looks for
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        QProcess helper;
        helper.setStandardErrorFile(QProcess::nullDevice());
        helper.start(QString::fromStdString(program.string()), {QStringLiteral("--tune-player")});
        ASSERT_TRUE(helper.waitForStarted(5000));
        helper.write("prepare /nowhere/Zentick.mid\n");
        ::usleep(static_cast<useconds_t>(20'000 + round * 150'000));
        helper.closeWriteChannel();
        ASSERT_TRUE(helper.waitForFinished(10'000)) << "the helper did not end";
        EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit) << "the helper crashed";
        EXPECT_EQ(helper.exitCode(), 0);
    }
}

}  // namespace
