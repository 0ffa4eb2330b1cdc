// From the alarm's request to show the MIDI alarm window to the first
// non-silent audio frame, with the SoundFont the set-up installs. The audio
// goes to a file, which FluidSynth fills at the pace of a sound card.

#include "platform/tune/fluid_synth_player.h"
#include "platform/message_box.h"
#include "ui/frmMci.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

void writeTune(const fs::path& file)
{
    // One note, a quarter at 120 beats a minute, starting at once.
    const unsigned char tune[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0,
                                  15, 0, 0xC0, 0, 0, 0x90, 0x3C, 0x7F, 0x83, 0x60, 0x80, 0x3C, 0x40, 0, 0xFF, 0x2F, 0};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(tune), sizeof tune);
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
    writeTune(tune);

    auto config = zentick::platform::FluidSynthConfig::desktop(dir);
    config.audioDrivers = {"file"};
    config.settings = {{"audio.file.name", raw.string()}, {"audio.file.type", "raw"}, {"audio.file.format", "s16"}};

    const auto loadStart = Clock::now();
    zentick::platform::FluidSynthPlayer player(config);
    const bool loaded = player.waitUntilLoaded();
    std::printf("SoundFont load (off the user-interface thread): %.1f ms%s\n", millisecondsSince(loadStart),
                loaded ? "" : " (failed)");

    NoMessages messages;
    for (int run = 1; run <= 5; ++run) {
        fs::remove(raw);
        const auto request = Clock::now();
        zentick::ui::frmMci window(player, messages, tune);
        if (!window.Form_Load())
            return 1;
        window.show();
        const double loadMs = millisecondsSince(request);
        while (!heardSound(raw) && millisecondsSince(request) < 5000)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        std::printf("run %d: show request returned after %.1f ms, first sound after %.1f ms (target < 200 ms)\n", run,
                    loadMs, millisecondsSince(request));
        window.close();
    }
    fs::remove_all(dir);
    return 0;
}
