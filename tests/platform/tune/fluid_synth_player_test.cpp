// The real FluidSynth with the installed General MIDI SoundFont, rendering
// into a file instead of a sound card.

#include "platform/tune/fluid_synth_player.h"

#include "support/midi_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <cstdint>
#include <thread>
#include <vector>

namespace zentick::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kSampleRate = 44100;
// The small General MIDI SoundFont the test command installs, named
// outright: the system's default may be another (FluidR3's piano rings on
// for seconds), and the levels and tails here are this one's.
const fs::path kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

class FluidSynthRendering : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path output = dir.path() / "rendered.raw";
    fs::path tune = dir.path() / "Zentick.mid";

    FluidSynthConfig renderInto(const fs::path& file) const
    {
        FluidSynthConfig config = FluidSynthConfig::desktop(dir.path());
        config.soundFonts = {kSoundFont};
        config.audioDrivers = {"file"};
        config.settings = {{"audio.file.name", file.string()}, {"audio.file.type", "raw"},
                           {"audio.file.format", "s16"}, {"synth.sample-rate", std::to_string(kSampleRate)}};
        return config;
    }

    // Interleaved stereo 16-bit samples as rendered so far.
    std::vector<std::int16_t> samples() const
    {
        const std::string bytes = test::readBytes(output);
        std::vector<std::int16_t> out(bytes.size() / 2);
        if (!out.empty())
            std::memcpy(out.data(), bytes.data(), out.size() * 2);
        return out;
    }

    static bool loud(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to && i < samples.size(); ++i) {
            if (std::abs(samples[i]) > 200)
                return true;
        }
        return false;
    }

    static bool waitFor(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 100 && !condition(); ++i)
            std::this_thread::sleep_for(50ms);
        return condition();
    }
};

TEST_F(FluidSynthRendering, PlaysTheTuneOnceThenStaysOpenUntilClosed)
{
    test::writeBytes(tune, test::oneNoteTune());
    FluidSynthPlayer player(renderInto(output));
    player.setDeviceType("Sequencer");
    player.setFileName(tune);
    ASSERT_TRUE(player.waitUntilLoaded()) << "no General MIDI SoundFont is installed";  // armed
    player.open();
    EXPECT_TRUE(player.isOpen());
    EXPECT_EQ(player.poll(), MidiState::Stopped);
    player.play();
    EXPECT_EQ(player.poll(), MidiState::Playing);

    ASSERT_TRUE(waitFor([&] { return player.poll() == MidiState::Stopped; })) << "the tune never ended";
    EXPECT_TRUE(player.isOpen()) << "the device stays open after the tune";
    // Let the note's release die away, then listen on: nothing plays again.
    std::this_thread::sleep_for(1500ms);
    const auto rendered = samples();
    ASSERT_GT(rendered.size(), static_cast<std::size_t>(kSampleRate));
    EXPECT_TRUE(loud(rendered, 0, rendered.size())) << "the tune was silent";
    EXPECT_FALSE(loud(rendered, rendered.size() - kSampleRate / 2, rendered.size())) << "the tune played again";

    player.close();
    EXPECT_FALSE(player.isOpen());
    const auto closedAt = fs::file_size(output);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fs::file_size(output), closedAt) << "sound went on after Close";
}

TEST_F(FluidSynthRendering, ATunesInstrumentsAreReadBeforeItPlaysAndNoneWhileItDoes)
{
    const auto bytes = [](std::initializer_list<int> values) {
        std::string out;
        for (const int value : values)
            out += static_cast<char>(value);
        return out;
    };
    const std::string end = bytes({0x00, 0xFF, 0x2F, 0x00});
    // The piano, then the organ mid-way; a GS reset, then the drums.
    const std::string melody = bytes({0x00, 0xC0, 0, 0x00, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 64, 0x00, 0xC0, 19,
                                      0x00, 0x90, 64, 100, 0x83, 0x60, 0x80, 64, 64});
    const std::string drums = bytes({0x83, 0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7,
                                     0x00, 0x99, 36, 100, 0x83, 0x60, 0x89, 36, 0});
    test::writeBytes(tune, test::midiHeader(1, 2) + test::chunk("MTrk", melody + end) + test::chunk("MTrk", drums + end));

    FluidSynthPlayer player(renderInto(output));
    player.setDeviceType("Sequencer");
    player.setFileName(tune);
    ASSERT_TRUE(player.waitUntilLoaded());  // armed: the tune's instruments read
    for (const char* round : {"the armed tune", "another tune, opened in its place"}) {
        SCOPED_TRACE(round);
        player.open();
        const auto beforePlaying = FluidSynthPlayer::soundFontOpenings();
        player.play();
        ASSERT_TRUE(waitFor([&] { return player.poll() == MidiState::Stopped; })) << "the tune never ended";
        EXPECT_EQ(FluidSynthPlayer::soundFontOpenings(), beforePlaying) << "samples were read while the tune played";
        EXPECT_TRUE(loud(samples(), 0, samples().size()));
        player.close();
        // The violin, and the drums before any reset.
        const auto armedBefore = FluidSynthPlayer::soundFontOpenings();
        test::writeBytes(tune, test::midiHeader(0, 1)
                                   + test::chunk("MTrk", bytes({0x00, 0xC0, 40, 0x00, 0x90, 67, 100, 0x00, 0x99, 38, 100,
                                                                0x83, 0x60, 0x80, 67, 64}) + end));
        if (round == std::string("the armed tune")) {
            // Read on the loading thread while the device opens Loading.
            player.open();
            EXPECT_TRUE(waitFor([&] { return player.poll() != MidiState::Loading; }));
            EXPECT_GT(FluidSynthPlayer::soundFontOpenings(), armedBefore) << "the new instruments were not read";
            player.close();
        }
    }
}

TEST_F(FluidSynthRendering, CloseStopsATuneAtOnce)
{
    test::writeBytes(tune, test::oneNoteTune(16));  // eight seconds long
    FluidSynthPlayer player(renderInto(output));
    player.setDeviceType("Sequencer");
    player.setFileName(tune);
    ASSERT_TRUE(player.waitUntilLoaded());
    player.open();
    player.play();
    ASSERT_TRUE(waitFor([&] { return loud(samples(), 0, samples().size()); }));
    player.close();
    EXPECT_EQ(player.poll(), MidiState::Closed);
    const auto closedAt = fs::file_size(output);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fs::file_size(output), closedAt);
    EXPECT_LT(closedAt, static_cast<std::uintmax_t>(kSampleRate) * 4 * 4) << "Close waited for the tune";

    // The same player serves the next alarm, from the tune's beginning.
    player.open();
    player.play();
    EXPECT_EQ(player.poll(), MidiState::Playing);
    player.close();
}

TEST_F(FluidSynthRendering, ASoundFontWhoseReadNeverEndsIsReportedAndNeverWaitedFor)
{
    test::writeBytes(tune, test::oneNoteTune());
    const fs::path stalled = dir.path() / "Zentick.sf2";
    ASSERT_EQ(mkfifo(stalled.c_str(), 0644), 0);  // with no writer, opening it waits for ever
    auto config = renderInto(output);
    config.soundFonts = {stalled};
    config.loadPatience = 300ms;
    {
        FluidSynthPlayer player(config);
        player.setDeviceType("Sequencer");
        player.setFileName(tune);
        player.open();  // returns: the device waits for its sounds
        EXPECT_TRUE(player.isOpen());
        player.play();
        EXPECT_EQ(player.poll(), MidiState::Loading);
        std::string failure;
        ASSERT_TRUE(waitFor([&] {
            try {
                player.poll();
            } catch (const MidiError& error) {
                failure = error.what();
            }
            return !failure.empty();
        })) << "the load that never ends was never reported";
        EXPECT_NE(failure.find("終わりません"), std::string::npos) << failure;
        EXPECT_NE(failure.find(stalled.string()), std::string::npos) << failure;
        EXPECT_FALSE(player.isOpen());
    }  // and the player goes without waiting for the load

    // Let the stalled load end, so it leaves nothing behind.
    const int writer = ::open(stalled.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
}

TEST_F(FluidSynthRendering, AFailedLoadIsTriedAgainAndReleasedSoundsAreFreed)
{
    test::writeBytes(tune, test::oneNoteTune());
    auto config = renderInto(output);
    const fs::path beside = dir.path() / "Zentick.sf2";
    config.soundFonts = {beside};
    FluidSynthPlayer player(config);
    player.setDeviceType("Sequencer");
    player.setFileName(tune);
    // Refused at Open, or, on a machine too busy to finish looking within
    // Open's short wait, at the next look.
    std::string refusal;
    try {
        player.open();
        waitFor([&] { return player.poll() != MidiState::Loading; });
        ADD_FAILURE() << "opened without a SoundFont";
    } catch (const MidiError& failure) {
        refusal = failure.what();
    }
    EXPECT_NE(refusal.find(beside.string()), std::string::npos) << "where it looked: " << refusal;
    EXPECT_FALSE(player.isOpen());
    EXPECT_FALSE(player.spent()) << "a player that may look again";
    // A contained helper may read no SoundFont put in place since: it ends
    // after telling, and the next tune's helper looks again.
    config.findsNewSoundFonts = false;
    FluidSynthPlayer contained(config);
    contained.setFileName(tune);
    EXPECT_FALSE(contained.spent());
    try {
        contained.open();
        waitFor([&] { return contained.poll() != MidiState::Loading; });
    } catch (const MidiError&) {
    }
    EXPECT_TRUE(contained.spent());

    // The user puts a SoundFont beside the program: the next Open finds it.
    fs::create_symlink(kSoundFont, beside);
    player.open();
    EXPECT_TRUE(waitFor([&] { return player.poll() != MidiState::Loading; }));
    EXPECT_EQ(player.poll(), MidiState::Stopped);
    player.close();

    EXPECT_TRUE(player.holdsSounds());
    player.release();
    EXPECT_FALSE(player.holdsSounds());
}

// What a contained helper keeps to read: each SoundFont there now, as the
// file it is after every link (Debian's defaults are links through
// /etc/alternatives), and FluidSynth's own default for an empty entry.
TEST_F(FluidSynthRendering, TheSoundFontsAHelperMayReadAreTheFilesBehindTheirNames)
{
    fs::create_symlink(kSoundFont, dir.path() / "link.sf2");
    fs::create_symlink(dir.path() / "link.sf2", dir.path() / "Zentick.sf2");
    fs::create_directory(dir.path() / "Zentick.sf3");
    ASSERT_NE(FluidSynthApi::load(), nullptr);
    SettingsPtr settings(fluid().new_fluid_settings());
    char text[1024] = {};
    fluid().fluid_settings_copystr(settings.get(), "synth.default-soundfont", text, sizeof text);
    std::error_code none;
    const fs::path fluidDefault = fs::canonical(text, none);
    const struct {
        const char* name;
        fs::path given;
        std::vector<fs::path> readable;
    } cases[] = {
        {"a link to a link", dir.path() / "Zentick.sf2", {fs::canonical(kSoundFont)}},
        {"a folder in its place", dir.path() / "Zentick.sf3", {}},
        {"nothing there", dir.path() / "missing.sf2", {}},
        {"FluidSynth's own default", fs::path(), none ? std::vector<fs::path>{} : std::vector<fs::path>{fluidDefault}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(soundFontFiles({c.given}), c.readable);
    }
}

TEST_F(FluidSynthRendering, RefusesToOpenWhatItCannotPlay)
{
    const std::string good = test::oneNoteTune();
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<FluidSynthConfig()> config;
        const char* mentions;
    } const cases[] = {
        {"no tune file", [&] { fs::remove(tune); }, [&] { return renderInto(output); }, "見つかりません"},
        {"an empty file", [&] { test::writeBytes(tune, ""); }, [&] { return renderInto(output); }, "MIDI ファイルではない"},
        {"a truncated file", [&] { test::writeBytes(tune, good.substr(0, good.size() - 5)); },
         [&] { return renderInto(output); }, "壊れています"},
        {"a text file named like a tune", [&] { test::writeBytes(tune, "MThd is not enough\r\n"); },
         [&] { return renderInto(output); }, "MIDI ファイルではない"},
        // Whole chunks, but the sequencer would end at once in silence.
        {"a first event without a status byte", [&] { test::writeBytes(tune, test::unreadableTune()); },
         [&] { return renderInto(output); }, "壊れています"},
        {"a tune without a note", [&] { test::writeBytes(tune, test::standardMidiFile({})); },
         [&] { return renderInto(output); }, "音符がありません"},
        {"a huge file", [&] { test::writeBytes(tune, good); fs::resize_file(tune, 64 * 1024 * 1024); },
         [&] { return renderInto(output); }, "大きすぎます"},
        {"no SoundFont",
         [&] { test::writeBytes(tune, good); },
         [&] {
             auto config = renderInto(output);
             config.soundFonts = {dir.path() / "missing.sf2"};
             return config;
         },
         "SoundFont"},
        {"no audio output",
         [&] { test::writeBytes(tune, good); },
         [&] {
             auto config = renderInto(output);
             config.audioDrivers = {"no-such-driver"};
             return config;
         },
         "オーディオ出力"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        FluidSynthPlayer player(c.config());
        // Armed and loaded first, however slow the machine: a device still
        // waiting for its sounds opens Loading, and its output is only tried after.
        player.setDeviceType("Sequencer");
        player.setFileName(tune);
        player.waitUntilLoaded();
        // Refused at Open, or where the sounds are loaded anew (a SoundFont
        // that failed is looked for again), at the next look.
        try {
            player.open();
            waitFor([&] { return player.poll() != MidiState::Loading; });
            ADD_FAILURE() << "opened";
        } catch (const MidiError& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.mentions), std::string::npos) << failure.what();
        }
        EXPECT_FALSE(player.isOpen());
        EXPECT_THROW(player.play(), MidiError);
    }
    FluidSynthPlayer player(renderInto(output));
    EXPECT_THROW(player.setDeviceType("CDAudio"), MidiError);
}

}  // namespace
}  // namespace zentick::platform
