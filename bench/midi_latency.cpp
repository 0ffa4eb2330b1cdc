// The tune with each General MIDI SoundFont installed (TimGM6mb, FluidR3_GM,
// MuseScore's General Lite): how long arming takes (from the request to
// the tune's instruments in memory), and from the alarm's request to show
// the MIDI alarm window to the first non-silent audio frame, each the median
// of 5; the audio goes to a file, which FluidSynth fills at the pace of a
// sound card. The longest the clock waits for each command the tune helper
// answers, the armed tune played and then one changed after arming. Then a
// tune of 16 instruments and drums through a private PulseAudio: the
// longest render call against the audio it made.

#include "platform/tune/fluid_synth_player.h"
#include "platform/message_box.h"
#include "ui/frmMci.h"

#include "support/midi_file.h"
#include "support/sound_server.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zentick::platform::FluidSynthConfig;
using zentick::platform::FluidSynthPlayer;
using zentick::platform::MidiState;

constexpr int kRuns = 5;

class NoMessages final : public zentick::platform::MessageBox {
public:
    void show(std::string_view text, zentick::platform::MessageIcon) override
    {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    void notify(std::string_view text) override { show(text, zentick::platform::MessageIcon::None); }
};

bool heardSound(const fs::path& raw)
{
    std::ifstream in(raw, std::ios::binary);
    char sample[2];
    while (in.read(sample, 2)) {
        const auto value = static_cast<std::int16_t>(static_cast<unsigned char>(sample[0]) | sample[1] << 8);
        if (value > 100 || value < -100)
            return true;
    }
    return false;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Fifteen channels with an instrument each, the first changing to a
// sixteenth half-way, and the drums on channel 10: notes in turn, an eighth
// each, for about four seconds.
std::string sixteenInstruments()
{
    std::string track;
    const auto event = [&](int delta, std::initializer_list<int> bytes) {
        track += zentick::test::varLength(delta);
        for (const int byte : bytes)
            track += static_cast<char>(byte);
    };
    std::vector<int> channels;
    for (int channel = 0; channel < 16; ++channel) {
        if (channel != 9) {
            event(0, {0xC0 | channel, channel * 8});
            channels.push_back(channel);
        }
    }
    channels.push_back(9);
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            event(0, {0xC0, 120 - 1});
        for (const int channel : channels) {
            const int key = channel == 9 ? 38 : 60 + channel;
            event(0, {0x90 | channel, key, 100});
            event(240, {0x80 | channel, key, 64});
        }
    }
    event(0, {0xFF, 0x2F, 0x00});
    return zentick::test::midiHeader(0, 1) + zentick::test::chunk("MTrk", track);
}

// The longest each command took, over the runs; a command is carried out
// by the helper while the clock waits for its answer.
class CommandWaits {
public:
    template <typename Command>
    auto time(const std::string& name, Command command)
    {
        const auto start = Clock::now();
        struct Record {
            CommandWaits& waits;
            const std::string& name;
            Clock::time_point start;
            ~Record() { waits.note(name, millisecondsSince(start)); }
        } record{*this, name, start};
        return command();
    }
    void note(const std::string& name, double milliseconds)
    {
        auto found = std::find_if(m_longest.begin(), m_longest.end(), [&](const auto& entry) { return entry.first == name; });
        if (found == m_longest.end())
            m_longest.emplace_back(name, milliseconds);
        else
            found->second = std::max(found->second, milliseconds);
    }
    const std::vector<std::pair<std::string, double>>& longest() const { return m_longest; }

private:
    std::vector<std::pair<std::string, double>> m_longest;
};

// The commands the clock sends for one alarm on the armed tune and, after
// it, on a tune of sixteen instruments put in its place; each run's longest
// wait per command, and the median of those over the runs.
std::vector<std::pair<std::string, double>> commandWaits(const FluidSynthConfig& config, const fs::path& tune,
                                                         const std::string& armed, const std::string& changed)
{
    std::vector<std::vector<std::pair<std::string, double>>> runs;
    for (int run = 0; run < kRuns; ++run) {
        CommandWaits waits;
        zentick::test::writeBytes(tune, armed);
        FluidSynthPlayer player(config);
        waits.time("prepare", [&] { player.prepare(tune); });
        player.setFileName(tune);
        player.waitUntilLoaded();
        for (const std::string* bytes : {&armed, &changed}) {
            zentick::test::writeBytes(tune, *bytes);
            waits.time("type", [&] { player.setDeviceType("Sequencer"); });
            waits.time("file", [&] { player.setFileName(tune); });
            waits.time("open", [&] { player.open(); });
            waits.time("play", [&] { player.play(); });
            const auto start = Clock::now();
            while (waits.time("poll", [&] { return player.poll(); }) != MidiState::Stopped
                   && millisecondsSince(start) < 30000)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waits.time("close", [&] { player.close(); });
        }
        waits.time("release", [&] { player.release(); });
        runs.push_back(waits.longest());
    }
    std::vector<std::pair<std::string, double>> medians = runs.front();
    for (auto& [name, value] : medians) {
        std::vector<double> each;
        for (const auto& run : runs) {
            for (const auto& [command, milliseconds] : run) {
                if (command == name)
                    each.push_back(milliseconds);
            }
        }
        value = median(each);
    }
    return medians;
}

// A melody on the violin: no instrument a reset gives a channel.
std::string violinMelody()
{
    std::string track = zentick::test::varLength(0) + std::string("\xC0\x28", 2);
    for (int key = 60; key < 68; ++key) {
        track += zentick::test::varLength(0) + std::string{'\x90', static_cast<char>(key), '\x64'};
        track += zentick::test::varLength(240) + std::string{'\x80', static_cast<char>(key), '\x40'};
    }
    track += zentick::test::varLength(0) + std::string("\xFF\x2F\x00", 3);
    return zentick::test::midiHeader(0, 1) + zentick::test::chunk("MTrk", track);
}

FluidSynthConfig renderingInto(const fs::path& dir, const fs::path& soundFont, const fs::path& raw)
{
    auto config = FluidSynthConfig::desktop(dir);
    config.soundFonts = {soundFont};
    config.audioDrivers = {"file"};
    config.settings = {{"audio.file.name", raw.string()}, {"audio.file.type", "raw"}, {"audio.file.format", "s16"}};
    return config;
}

}  // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "zentick-midi-latency";
    fs::create_directories(dir);
    const fs::path tune = dir / "Zentick.mid";
    const fs::path raw = dir / "out.raw";
    zentick::test::writeBytes(tune, zentick::test::oneNoteTune());
    NoMessages messages;

    const struct {
        const char* name;
        const char* file;
    } soundFonts[] = {
        {"TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2"},
        {"FluidR3_GM", "/usr/share/sounds/sf2/FluidR3_GM.sf2"},
        {"MuseScore General Lite", "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3"},
    };
    std::printf("Armed (the SoundFont's headers and the tune's instruments read, off the user-interface thread), and\n"
                "the alarm's request to the first sound (target < 200 ms), median of %d:\n", kRuns);
    for (const auto& soundFont : soundFonts) {
        if (!fs::exists(soundFont.file)) {
            std::printf("  %-23s not installed\n", soundFont.name);
            continue;
        }
        const auto config = renderingInto(dir, soundFont.file, raw);
        std::vector<double> armed;
        for (int run = 0; run < kRuns; ++run) {
            FluidSynthPlayer player(config);
            player.setFileName(tune);
            const auto start = Clock::now();
            if (!player.waitUntilLoaded()) {
                std::printf("FAULT: %s did not load\n", soundFont.name);
                return 1;
            }
            armed.push_back(millisecondsSince(start));
        }
        FluidSynthPlayer player(config);
        player.setFileName(tune);
        player.waitUntilLoaded();
        std::vector<double> firstSound;
        for (int run = 0; run < kRuns; ++run) {
            fs::remove(raw);
            const auto request = Clock::now();
            zentick::ui::frmMci window(player, messages, tune);
            if (!window.Form_Load()) {
                std::printf("FAULT: %s: the tune did not open\n", soundFont.name);
                return 1;
            }
            window.show();
            while (!heardSound(raw) && millisecondsSince(request) < 5000)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            if (!heardSound(raw)) {
                std::printf("FAULT: %s: nothing was heard\n", soundFont.name);
                return 1;
            }
            firstSound.push_back(millisecondsSince(request));
            window.close();
        }
        std::printf("  %-23s armed in %.1f ms, first sound after %.1f ms\n", soundFont.name, median(armed),
                    median(firstSound));
    }

    std::printf("The longest the clock waits for each command (target < 100 ms), an alarm on the armed tune (a violin\n"
                "melody) and one on a tune of 16 instruments put in its place after arming, median of %d:\n", kRuns);
    for (const auto& soundFont : soundFonts) {
        if (!fs::exists(soundFont.file))
            continue;
        const auto waits = commandWaits(renderingInto(dir, soundFont.file, raw), tune, violinMelody(), sixteenInstruments());
        std::printf("  %-23s", soundFont.name);
        for (const auto& [command, milliseconds] : waits)
            std::printf(" %s %.1f ms", command.c_str(), milliseconds);
        std::printf("\n");
    }

    // Through a sound server, whose output calls the player's render.
    zentick::test::SoundServer server(zentick::test::SoundServer::Kind::PulseAudio);
    if (!server.ready()) {
        std::printf("FAULT: the private PulseAudio did not start\n");
        return 1;
    }
    setenv("PULSE_SERVER", server.address().c_str(), 1);
    zentick::test::writeBytes(tune, sixteenInstruments());
    for (const auto& soundFont : soundFonts) {
        if (!fs::exists(soundFont.file))
            continue;
        auto config = FluidSynthConfig::desktop(dir);
        config.soundFonts = {soundFont.file};
        config.audioDrivers = {"pulseaudio"};
        FluidSynthPlayer player(config);
        player.setDeviceType("Sequencer");
        player.setFileName(tune);
        player.waitUntilLoaded();
        player.open();
        const auto openingsArmed = FluidSynthPlayer::soundFontOpenings();
        player.play();
        const auto start = Clock::now();
        while (player.poll() != MidiState::Stopped && millisecondsSince(start) < 15000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto render = player.longestRender();
        const double period = 1000.0 * render.frames / 44100.0;
        std::printf("16 instruments and drums with %s: longest render call %.2f ms for %d frames (%.2f ms of audio); "
                    "SoundFont opened %llu times while playing\n",
                    soundFont.name, std::chrono::duration<double, std::milli>(render.longest).count(), render.frames,
                    period, static_cast<unsigned long long>(FluidSynthPlayer::soundFontOpenings() - openingsArmed));
        player.close();
    }
    fs::remove_all(dir);
    return 0;
}
