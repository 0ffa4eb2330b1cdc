#pragma once

#include "platform/midi_player.h"
#include "platform/tune/helper.h"
#include "platform/tune/sound_device.h"
#include "platform/tune/synth_sounds.h"
#include "platform/tune/tune_reader.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentick::platform {

struct FluidSynthConfig {
    // SoundFonts tried in order until one loads; an empty entry stands for
    // FluidSynth's own default-SoundFont setting.
    std::vector<std::filesystem::path> soundFonts;
    // Audio drivers tried in order when the device opens: "pulseaudio" is
    // the sound server, through the connection below; "" is FluidSynth's
    // own default for the platform, any other name one of its drivers.
    std::vector<std::string> audioDrivers;
#if defined(__linux__)
    // The helper's connection to the sound server, made before it contained
    // itself; null to connect when a tune needs it.
    std::shared_ptr<PulseConnection> soundServer;
#endif
    // Further FluidSynth settings, such as a file to render into.
    std::vector<std::pair<std::string, std::string>> settings;
    // How long a tune may wait for its sounds before the user is told.
    std::chrono::milliseconds loadPatience{50'000};
    // False for a contained helper, which may read only the SoundFonts that
    // were there when it contained itself.
    bool findsNewSoundFonts = true;

    // The platform's usual SoundFonts and audio outputs.
    static FluidSynthConfig desktop(const std::filesystem::path& programDir);
};

// The MIDI sequencer on FluidSynth. A General MIDI SoundFont takes long
// enough to load to freeze a window (seconds, or for ever on a stalled
// disk), so it is loaded on a thread of its own, only while a tune may be
// wanted (prepare() to release()), and nothing ever waits on that thread for
// long: not the window, and not the program's exit. Of its samples (tens to
// hundreds of megabytes) only those of the instruments the tune selects are
// read, when it is prepared, and held until it is let go; the audio thread
// reads none. The device (player and audio output) opens and closes with
// each tune.
class FluidSynthPlayer final : public TunePlayer {
public:
    explicit FluidSynthPlayer(FluidSynthConfig config);
    ~FluidSynthPlayer() override;
    FluidSynthPlayer(const FluidSynthPlayer&) = delete;
    FluidSynthPlayer& operator=(const FluidSynthPlayer&) = delete;

    void setTune(const std::filesystem::path& file, std::string bytes) override;
    void prepare(const std::filesystem::path& tune) override;
    bool spent() const noexcept override;
    void release() noexcept override;
    void setDeviceType(std::string_view type) override;
    void setFileName(const std::filesystem::path& file) override;
    void open() override;
    void play() override;
    void close() noexcept override;
    bool isOpen() const noexcept override;
    MidiState poll() override;

    // Loads the sounds if need be and waits for them; true when they loaded.
    // For tests and benchmarks: the program itself never waits.
    bool waitUntilLoaded();
    // Whether the sounds are held in memory, loaded or still loading.
    bool holdsSounds() const noexcept;
    // Whether an audio output is open, so that sound is being made.
    bool holdsOutput() const noexcept;
    // Whether the sounds are still being read on their own thread.
    bool loading() const;

    // How often FluidSynth has opened a SoundFont in this process, to read
    // its headers or an instrument's samples.
    static std::uint64_t soundFontOpenings();
    // The longest render call of the open device, and the frames it made.
    struct Render {
        std::chrono::nanoseconds longest{0};
        int frames = 0;
    };
    Render longestRender() const;

private:
    struct Pending {
        Tune tune;
        bool play = false;
        std::chrono::steady_clock::time_point since;
    };

    // True once the sounds are in; throws MidiError when their load failed.
    bool takeLoaded(std::chrono::milliseconds wait);
    bool loadFailed() const;
    // The bytes of the tune file, as handed over, or else as read now.
    std::string tuneBytes(const std::filesystem::path& file) const;
    void load(std::string tune);
    void advance();
    void openDevice(const Tune& tune);
    void start();

    FluidSynthConfig m_config;
    AudioOutputs m_outputs;
    std::shared_ptr<SoundsLoad> m_load;     // in flight, or done and not yet taken
    std::unique_ptr<SynthSounds> m_synth;   // the sounds, once loaded
    std::unique_ptr<SoundDevice> m_device;  // open on the sounds
    std::optional<Pending> m_pending;  // open, waiting for the sounds
    std::filesystem::path m_file;
    std::optional<std::pair<std::filesystem::path, std::string>> m_given;  // the tune handed over last
    bool m_soundsFailed = false;  // the last load failed, and was told
};

}  // namespace zentick::platform
