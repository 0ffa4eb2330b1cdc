#include "platform/tune/fluid_synth_player.h"

#include "platform/file_system.h"
#include "platform/program_dir.h"

#include <thread>

namespace zentick::platform {

namespace fs = std::filesystem;

using namespace std::chrono_literals;

FluidSynthConfig FluidSynthConfig::desktop(const fs::path& programDir)
{
    FluidSynthConfig config;
    // The program's folder first, then what FluidSynth itself would use, then
    // Debian's defaults (the .sf3 one is all some systems have).
    config.soundFonts = {inProgramDir(programDir, "Zentick.sf2"), inProgramDir(programDir, "Zentick.sf3"), fs::path(),
                         "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3"};
#if defined(__linux__)
    // The desktop's sound server first (PipeWire serves PulseAudio clients
    // too), then FluidSynth's own default, ALSA, for a machine without one.
    // JACK is left out: it may start a server.
    config.audioDrivers = {"pulseaudio", ""};
#else
    config.audioDrivers = {""};
#endif
    return config;
}

FluidSynthPlayer::FluidSynthPlayer(FluidSynthConfig config)
    : m_config(std::move(config))
{
    m_outputs.drivers = m_config.audioDrivers.empty() ? std::vector<std::string>{""} : m_config.audioDrivers;
#if defined(__linux__)
    m_outputs.soundServer = m_config.soundServer;
#endif
}

// A load still in flight is left to finish, or to hang, on its own thread.
FluidSynthPlayer::~FluidSynthPlayer()
{
    close();
}

void FluidSynthPlayer::setTune(const fs::path& file, std::string bytes)
{
    m_given.emplace(file, std::move(bytes));
}

std::string FluidSynthPlayer::tuneBytes(const fs::path& file) const
{
    return m_given && m_given->first == file ? m_given->second : readTuneBytes(file);
}

void FluidSynthPlayer::prepare(const fs::path& tune)
{
    if (m_synth || m_load)
        return;
    std::string bytes;
    try {
        bytes = tuneBytes(tune);
    } catch (const MidiError&) {
        // Told when the tune opens; the sounds load all the same.
    }
    load(std::move(bytes));
}

void FluidSynthPlayer::load(std::string tune)
{
    // A load under way, loaded, or failed: each stays as it is. A failure is
    // tried again at the next Open, or after release(); trying on every tick
    // would read a broken SoundFont over and over. A tune changed since is
    // found when it opens.
    if (m_synth || m_load)
        return;
    m_soundsFailed = false;
    auto load = std::make_shared<SoundsLoad>();
    std::thread([load, config = m_config, tune = std::move(tune)]() mutable {
        loadSounds(config.soundFonts, config.settings, std::move(tune), *load);
    }).detach();
    m_load = std::move(load);
}

bool FluidSynthPlayer::loadFailed() const
{
    if (!m_load)
        return false;
    const std::lock_guard lock(m_load->mutex);
    return m_load->done && !m_load->synth;
}

void FluidSynthPlayer::release() noexcept
{
    if (isOpen() || (!m_synth && !m_load))
        return;
    m_synth.reset();
    m_load.reset();  // a load in flight frees its sounds itself when it ends
    trimHeap();
}

bool FluidSynthPlayer::takeLoaded(std::chrono::milliseconds wait)
{
    if (m_synth)
        return true;
    if (!m_load)
        return false;
    std::unique_lock lock(m_load->mutex);
    if (!m_load->finished.wait_for(lock, wait, [&] { return m_load->done; }))
        return false;
    if (!m_load->synth) {
        const std::string failure = m_load->failure;
        lock.unlock();
        m_load.reset();
        m_soundsFailed = true;
        throw MidiError(failure);
    }
    m_synth = std::move(m_load->synth);
    lock.unlock();
    m_load.reset();
    return true;
}

bool FluidSynthPlayer::waitUntilLoaded()
{
    prepare(m_file);
    try {
        return takeLoaded(std::chrono::hours(1));
    } catch (const MidiError&) {
        return false;
    }
}

bool FluidSynthPlayer::spent() const noexcept
{
    return !m_config.findsNewSoundFonts && m_soundsFailed;
}

bool FluidSynthPlayer::holdsSounds() const noexcept
{
    return m_synth || m_load;
}

bool FluidSynthPlayer::holdsOutput() const noexcept
{
    return m_device && m_device->holdsOutput();
}

std::uint64_t FluidSynthPlayer::soundFontOpenings()
{
    return SynthSounds::soundFontOpenings();
}

FluidSynthPlayer::Render FluidSynthPlayer::longestRender() const
{
    if (!m_device)
        return {};
    return {std::chrono::nanoseconds(m_device->longestRenderNs.load(std::memory_order_relaxed)),
            m_device->longestRenderFrames.load(std::memory_order_relaxed)};
}

bool FluidSynthPlayer::loading() const
{
    if (!m_load)
        return false;
    const std::lock_guard lock(m_load->mutex);
    return !m_load->done;
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
    if (isOpen())
        throw MidiError("MIDI 装置はすでに開いています");
    Tune tune = Tune::parse(tuneBytes(m_file), m_file);
    // The user may have put a SoundFont in place or installed FluidSynth
    // since the last load failed.
    if (loadFailed())
        m_load.reset();
    load(tune.bytes);
    m_pending = Pending{std::move(tune), false, std::chrono::steady_clock::now()};
    try {
        advance();
    } catch (const MidiError&) {
        m_pending.reset();
        throw;
    }
}

// As far as it goes without waiting: the sounds taken once loaded; the
// instruments of a tune other than the armed one read on the loading
// thread, never while a command waits or the tune plays; then the device.
void FluidSynthPlayer::advance()
{
    if (!takeLoaded(0ms))
        return;
    if (m_synth->tune != m_pending->tune.bytes) {
        auto job = std::make_shared<SoundsLoad>();
        std::thread([job, sounds = std::move(m_synth), tune = m_pending->tune]() mutable {
            holdInstruments(std::move(sounds), tune, *job);
        }).detach();
        m_load = std::move(job);
        return;
    }
    const Pending pending = std::move(*m_pending);
    m_pending.reset();
    openDevice(pending.tune);
    if (pending.play)
        start();
}

void FluidSynthPlayer::openDevice(const Tune& tune)
{
    auto device = std::make_unique<SoundDevice>(*m_synth);
    // From memory: the player reads nothing from the disk on the audio thread.
    if (!device->player
        || fluid().fluid_player_add_mem(device->player.get(), tune.bytes.data(), tune.bytes.size()) != FLUID_OK)
        throw MidiError("MIDI プレーヤーを開けません: " + utf8(m_file));
    if (!device->openOutput(m_outputs))
        throw MidiError("音を出す装置（オーディオ出力）が見つかりません");
    m_device = std::move(device);
}

void FluidSynthPlayer::start()
{
    if (fluid().fluid_player_play(m_device->player.get()) != FLUID_OK)
        throw MidiError(std::string(kCannotPlayTune) + utf8(m_file));
    m_device->started = true;
}

void FluidSynthPlayer::play()
{
    if (m_pending)
        m_pending->play = true;
    else if (m_device)
        start();
    else
        throw MidiError("MIDI 装置が開かれていません");
}

void FluidSynthPlayer::close() noexcept
{
    m_device.reset();
    m_pending.reset();
}

bool FluidSynthPlayer::isOpen() const noexcept
{
    return m_device || m_pending;
}

MidiState FluidSynthPlayer::poll()
{
    if (m_pending) {
        try {
            advance();
        } catch (const MidiError&) {
            m_pending.reset();
            throw;
        }
    }
    if (m_pending) {
        if (std::chrono::steady_clock::now() - m_pending->since < m_config.loadPatience)
            return MidiState::Loading;
        fs::path trying;
        if (m_load) {
            const std::lock_guard lock(m_load->mutex);
            trying = m_load->trying;
        }
        m_pending.reset();
        throw MidiError("音色ファイル (SoundFont) の読み込みが終わりません: " + utf8(trying));
    }
    if (!m_device)
        return MidiState::Closed;
    return m_device->poll(m_outputs);
}

}  // namespace zentick::platform
