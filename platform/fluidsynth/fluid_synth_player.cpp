#include "platform/fluidsynth/fluid_synth_player.h"

#include "platform/file_system.h"
#include "platform/fluidsynth/fluid_synth_api.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

// A tune is a few kilobytes; anything this large is no alarm tune.
constexpr std::uintmax_t kMaxTuneBytes = 16 * 1024 * 1024;

// Handles exist only once the library has loaded, so the deleters can rely on it.
const FluidSynthApi& fluid()
{
    return *FluidSynthApi::load();
}

struct FluidDelete {
    void operator()(fluid_settings_t* settings) const noexcept { fluid().delete_fluid_settings(settings); }
    void operator()(fluid_synth_t* synth) const noexcept { fluid().delete_fluid_synth(synth); }
    void operator()(fluid_player_t* player) const noexcept { fluid().delete_fluid_player(player); }
    void operator()(fluid_audio_driver_t* driver) const noexcept { fluid().delete_fluid_audio_driver(driver); }
};
using SettingsPtr = std::unique_ptr<fluid_settings_t, FluidDelete>;
using SynthPtr = std::unique_ptr<fluid_synth_t, FluidDelete>;
using PlayerPtr = std::unique_ptr<fluid_player_t, FluidDelete>;
using DriverPtr = std::unique_ptr<fluid_audio_driver_t, FluidDelete>;

std::uint32_t bigEndian(const std::string& bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// The chunk structure of a Standard MIDI File: a header and whole tracks.
bool isStandardMidiFile(const std::string& bytes)
{
    if (bytes.size() < 14 || bytes.compare(0, 4, "MThd") != 0 || bigEndian(bytes, 4, 4) < 6)
        return false;
    const std::uint32_t tracks = bigEndian(bytes, 10, 2);
    std::size_t at = 8 + bigEndian(bytes, 4, 4);
    std::uint32_t found = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint64_t length = bigEndian(bytes, at + 4, 4);
        if (at + 8 + length > bytes.size())
            return false;  // cut short
        if (bytes.compare(at, 4, "MTrk") == 0)
            ++found;
        at += 8 + static_cast<std::size_t>(length);
    }
    return tracks > 0 && found >= tracks;
}

std::string readTune(const fs::path& file)
{
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error)
        throw MidiError("曲のファイルが見つかりません: " + utf8(file));
    if (size > kMaxTuneBytes)
        throw MidiError("曲のファイルが大きすぎます: " + utf8(file));
    std::ifstream in(file, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof())
        throw MidiError("曲のファイルを読み込めません: " + utf8(file));
    if (!isStandardMidiFile(bytes))
        throw MidiError("曲のファイルが MIDI ファイルではないか、壊れています: " + utf8(file));
    return bytes;
}

// Settings come as text; FluidSynth wants each in its own type.
void applySetting(fluid_settings_t* settings, const std::string& name, const std::string& value)
{
    switch (fluid().fluid_settings_get_type(settings, name.c_str())) {
    case FLUID_NUM_TYPE:
        fluid().fluid_settings_setnum(settings, name.c_str(), std::stod(value));
        break;
    case FLUID_INT_TYPE:
        fluid().fluid_settings_setint(settings, name.c_str(), std::stoi(value));
        break;
    default:
        fluid().fluid_settings_setstr(settings, name.c_str(), value.c_str());
        break;
    }
}

}  // namespace

struct FluidSynthPlayer::Synth {
    SettingsPtr settings;
    SynthPtr synth;
    std::string defaultDriver;  // FluidSynth's own choice of audio output
    std::string failure;  // why there is no synthesizer, when there is none
};

struct FluidSynthPlayer::Device {
    Synth& synth;
    PlayerPtr player;
    DriverPtr driver;

    explicit Device(Synth& loaded) : synth(loaded), player(fluid().new_fluid_player(loaded.synth.get())) {}
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device()
    {
        // The driver goes first: it runs the player from the audio thread.
        driver.reset();
        player.reset();
        fluid().fluid_synth_system_reset(synth.synth.get());  // no note rings on into the next tune
    }
};

FluidSynthConfig FluidSynthConfig::desktop(const fs::path& programDir)
{
    FluidSynthConfig config;
    fs::path besideProgram = programDir;
    besideProgram /= "Zentick.sf2";
    config.soundFonts = {besideProgram, "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/soundfonts/default.sf2",
                         "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
    // FluidSynth's own choice for the platform first ("" leaves it be).
#if defined(__linux__)
    // Its default there is ALSA, which works without a sound server; where a
    // sound server holds the card, PulseAudio (PipeWire serves it too) or
    // SDL still gets through. JACK is left out: it may start a server.
    config.audioDrivers = {"", "pulseaudio", "sdl2"};
#else
    config.audioDrivers = {""};
#endif
    return config;
}

FluidSynthPlayer::FluidSynthPlayer(FluidSynthConfig config)
    : m_config(std::move(config))
{
}

FluidSynthPlayer::~FluidSynthPlayer()
{
    close();
}

// Runs on a thread of its own: loads the library, makes the synthesizer and
// loads the first SoundFont that exists. A failure is kept for open() to report.
std::shared_ptr<FluidSynthPlayer::Synth> FluidSynthPlayer::loadSynth(const FluidSynthConfig& config)
{
    auto loaded = std::make_shared<Synth>();
    if (!FluidSynthApi::load()) {
        loaded->failure = "MIDI 音源ライブラリ (FluidSynth) が見つかりません";
        return loaded;
    }
    loaded->settings.reset(fluid().new_fluid_settings());
    char driver[64] = {};
    fluid().fluid_settings_copystr(loaded->settings.get(), "audio.driver", driver, sizeof driver);
    loaded->defaultDriver = driver;
    for (const auto& [name, value] : config.settings)
        applySetting(loaded->settings.get(), name, value);
    loaded->synth.reset(fluid().new_fluid_synth(loaded->settings.get()));
    if (!loaded->synth) {
        loaded->failure = "MIDI シンセサイザーを用意できません";
        return loaded;
    }
    for (const auto& soundFont : config.soundFonts) {
        std::error_code error;
        if (fs::exists(soundFont, error)
            && fluid().fluid_synth_sfload(loaded->synth.get(), utf8(soundFont).c_str(), 1) != FLUID_FAILED)
            return loaded;
    }
    loaded->failure = "音色ファイル (SoundFont) が見つかりません";
    return loaded;
}

void FluidSynthPlayer::prepare()
{
    if (!m_synth.valid())
        m_synth = std::async(std::launch::async, loadSynth, m_config).share();
}

FluidSynthPlayer::Synth& FluidSynthPlayer::synth()
{
    prepare();
    return *m_synth.get();
}

bool FluidSynthPlayer::waitUntilLoaded()
{
    return synth().failure.empty();
}

void FluidSynthPlayer::setDeviceType(std::string_view type)
{
    if (type != "Sequencer")
        throw MidiError("この MIDI プレーヤーが扱えない装置です: " + std::string(type));
}

void FluidSynthPlayer::setFileName(const fs::path& file)
{
    m_file = file;
}

void FluidSynthPlayer::open()
{
    if (m_device)
        throw MidiError("MIDI 装置はすでに開いています");
    const std::string tune = readTune(m_file);
    Synth& loaded = synth();
    if (!loaded.failure.empty())
        throw MidiError(loaded.failure);

    auto device = std::make_unique<Device>(loaded);
    if (!device->player || fluid().fluid_player_add_mem(device->player.get(), tune.data(), tune.size()) != FLUID_OK)
        throw MidiError("MIDI プレーヤーを開けません: " + utf8(m_file));
    const auto drivers = m_config.audioDrivers.empty() ? std::vector<std::string>{""} : m_config.audioDrivers;
    for (const auto& driver : drivers) {
        fluid().fluid_settings_setstr(loaded.settings.get(), "audio.driver",
                                      (driver.empty() ? loaded.defaultDriver : driver).c_str());
        device->driver.reset(fluid().new_fluid_audio_driver(loaded.settings.get(), loaded.synth.get()));
        if (device->driver)
            break;
    }
    if (!device->driver)
        throw MidiError("音を出す装置（オーディオ出力）が見つかりません");
    m_device = std::move(device);
}

void FluidSynthPlayer::play()
{
    if (!m_device)
        throw MidiError("MIDI 装置が開かれていません");
    if (fluid().fluid_player_play(m_device->player.get()) != FLUID_OK)
        throw MidiError("曲を演奏できません: " + utf8(m_file));
}

void FluidSynthPlayer::close() noexcept
{
    m_device.reset();
}

bool FluidSynthPlayer::isOpen() const noexcept
{
    return m_device != nullptr;
}

bool FluidSynthPlayer::isPlaying() const noexcept
{
    return m_device && fluid().fluid_player_get_status(m_device->player.get()) == FLUID_PLAYER_PLAYING;
}

}  // namespace zentick::platform
