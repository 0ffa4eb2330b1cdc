// The MIDI alarm with the real FluidSynth player behind the real windows,
// given every kind of tune file that cannot be played.

#include "ui_fixture.h"

#include "platform/tune/fluid_synth_player.h"
#include "support/midi_file.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zentick::ui::test {
namespace {

using platform::MessageIcon;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The main window on fakes, but for the real player: its alarm at 12:00 in
// MIDI mode, the local clock at 12:00, the alarm box checked.
struct ClockOnRealPlayer {
    FakeClock clock;
    CountingBeeper beeper;
    RecordingMessageBox messages;
    MemoryFileSystem files;
    FixedProgramDir programDir;
    RecordingAlarmNotice notice;
    FakeSleepWatch sleep;
    RecordingWakeUp wakeUp;
    ClockState state;
    std::unique_ptr<frmMain> window;

    ClockOnRealPlayer(const fs::path& dir, platform::MidiPlayer& midi) : programDir(dir)
    {
        files.files[settings::iniPath(dir)] = "5,0,#12:00:00#,2\r\n";
        window = std::make_unique<frmMain>(state, UiPlatform{clock, beeper, messages, files, programDir, midi, notice, sleep, wakeUp});
        window->show();
        window->findChild<QCheckBox*>("chkAl")->click();
    }
    void tick() { QMetaObject::invokeMethod(window->findChild<QTimer*>("Timer1"), "timeout", Qt::DirectConnection); }
};

TEST(BadMedia, EveryUnplayableTuneTakesTheErrorPathAndTheClockRunsOn)
{
    struct Case {
        const char* name;
        std::function<void(const fs::path& tune)> arrange;
        bool audio = true;
    } const cases[] = {
        {"missing", [](const fs::path&) {}},
        {"empty", [](const fs::path& tune) { writeBytes(tune, ""); }},
        {"truncated", [](const fs::path& tune) { writeBytes(tune, oneNoteTune().substr(0, 20)); }},
        {"not MIDI", [](const fs::path& tune) { writeBytes(tune, "RIFF....WAVEfmt "); }},
        {"huge",
         [](const fs::path& tune) {
             writeBytes(tune, oneNoteTune());
             fs::resize_file(tune, 1LL << 30);
         }},
        {"no audio device", [](const fs::path& tune) { writeBytes(tune, oneNoteTune()); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.arrange(platform::inProgramDir(dir.path(), "Zentick.mid"));
        auto config = platform::FluidSynthConfig::desktop(dir.path());
        config.audioDrivers = {c.audio ? "file" : "no-such-output"};
        config.settings = {{"audio.file.name", (dir.path() / "out.raw").string()}};
        platform::FluidSynthPlayer midi(config);
        ClockOnRealPlayer running(dir.path(), midi);
        auto& messages = running.messages;
        auto& window = *running.window;
        midi.waitUntilLoaded();  // armed well before the alarm minute, as a user would

        running.tick();
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);
        EXPECT_FALSE(messages.shown[0].text.ends_with(")"));
        EXPECT_TRUE(messages.shown[1].text.ends_with("(in ringAlarm)"));
        EXPECT_FALSE(midi.isOpen());
        EXPECT_TRUE(window.midiAlarmWindow() == nullptr || !window.midiAlarmWindow()->isVisible());

        running.clock.time = local(2026, 12, 8, 12, 1);
        running.tick();
        EXPECT_EQ(window.findChild<QLineEdit*>("txtTimeWd")->text(), "12:01");
        window.close();
    }
}

TEST(BadMedia, ASoundFontThatNeverLoadsNeverFreezesTheWindow)
{
    TempDir dir;
    writeBytes(platform::inProgramDir(dir.path(), "Zentick.mid"), oneNoteTune());
    const fs::path stalled = dir.path() / "Zentick.sf2";
    ASSERT_EQ(mkfifo(stalled.c_str(), 0644), 0);  // its read never returns
    auto config = platform::FluidSynthConfig::desktop(dir.path());
    config.soundFonts = {stalled};
    config.audioDrivers = {"file"};
    config.settings = {{"audio.file.name", (dir.path() / "out.raw").string()}};
    config.loadPatience = 500ms;
    {
        platform::FluidSynthPlayer midi(config);
        ClockOnRealPlayer running(dir.path(), midi);  // checking the alarm box starts the load, which stalls
        auto& messages = running.messages;
        auto& window = *running.window;
        running.tick();

        // The tick came back; the tune's window waits for its sounds.
        frmMci* tuneWindow = window.midiAlarmWindow();
        ASSERT_NE(tuneWindow, nullptr);
        EXPECT_TRUE(tuneWindow->isVisible());
        EXPECT_EQ(tuneWindow->findChild<QLabel*>("MMControl1")->text(), "… 準備中");
        EXPECT_TRUE(messages.shown.empty());

        // Past the patience the user is told, once, and the window closes.
        QTRY_VERIFY_WITH_TIMEOUT(!tuneWindow->isVisible(), 5000);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find("Zentick.sf2"), std::string::npos) << messages.shown[0].text;
        window.close();
    }
    const int writer = ::open(stalled.c_str(), O_WRONLY | O_NONBLOCK);  // let the stalled load end
    if (writer >= 0)
        ::close(writer);
}

}  // namespace
}  // namespace zentick::ui::test
