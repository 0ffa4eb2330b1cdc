#pragma once

#include "platform/midi_player.h"

#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zentick::platform {

struct FluidSynthConfig {
    // The first of these that exists is loaded.
    std::vector<std::filesystem::path> soundFonts;
    // Audio drivers tried in order when the device opens; "" is FluidSynth's
    // own default for the platform.
    std::vector<std::string> audioDrivers;
    // Further FluidSynth settings, such as a file to render into.
    std::vector<std::pair<std::string, std::string>> settings;

    // The platform's usual SoundFonts and audio outputs.
    static FluidSynthConfig desktop(const std::filesystem::path& programDir);
};

// The MIDI sequencer on FluidSynth. Loading a General MIDI SoundFont takes
// long enough to freeze a window and holds megabytes, so it is loaded once,
// on a thread of its own, when a tune is first wanted (prepare() or open()),
// and kept for the life of the process. The device (player and audio
// output) still opens and closes with each tune.
class FluidSynthPlayer final : public MidiPlayer {
public:
    explicit FluidSynthPlayer(FluidSynthConfig config);
    ~FluidSynthPlayer() override;
    FluidSynthPlayer(const FluidSynthPlayer&) = delete;
    FluidSynthPlayer& operator=(const FluidSynthPlayer&) = delete;

    void prepare() override;
    void setDeviceType(std::string_view type) override;
    void setFileName(const std::filesystem::path& file) override;
    void open() override;
    void play() override;
    void close() noexcept override;
    bool isOpen() const noexcept override;
    bool isPlaying() const noexcept override;

    // Loads the SoundFont if need be and waits for it; true when it loaded.
    bool waitUntilLoaded();

private:
    struct Synth;
    struct Device;

    Synth& synth();
    static std::shared_ptr<Synth> loadSynth(const FluidSynthConfig& config);

    FluidSynthConfig m_config;
    std::shared_future<std::shared_ptr<Synth>> m_synth;
    std::unique_ptr<Device> m_device;
    std::filesystem::path m_file;
};

}  // namespace zentick::platform
