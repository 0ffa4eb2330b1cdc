#include "platform/tune/fluid_synth_player.h"

#include "platform/file_system.h"
#include "platform/program_dir.h"
#include "platform/tune/fluid_synth_api.h"

#include "platform/tune/peak_limiter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// A tune is a few kilobytes; anything this large is no alarm tune.
constexpr std::uintmax_t kMaxTuneBytes = 16 * 1024 * 1024;

// The longest the window waits for sounds still loading when a tune opens;
// after that the device opens and the tune starts once they are in.
constexpr auto kOpenWait = 100ms;

// FluidSynth's default gain (0.2) leaves a piano tune near -30 dBFS, some
// 20 dB below the desktop's bell. At 4.0 a piano melody at velocity 100
// peaks near -4 dBFS with the default SoundFont; the limiter catches what
// dense, loud tunes would push past the ceiling.
constexpr double kSynthGain = 4.0;
constexpr float kCeiling = 0.891f;  // -1 dBFS

// Below this (-54 dBFS) a voice's tail is lost under any room's noise; once
// the tune's events are over the output is let go when it has stayed there
// kTailQuiet, rather than while reverberation dies away for seconds.
constexpr float kInaudible = 0.002f;
constexpr auto kTailQuiet = 100ms;
// However it rings, a tune's end is let go this long after its last event.
constexpr auto kLongestTail = 600ms;
// An output that takes no audio for this long while the tune plays is lost.
constexpr auto kStallPatience = 2000ms;

// The sound server sees the alarm as an alarm, not as a desktop alert sound
// whose volume the desktop's alert slider turns down.
constexpr const char* kMediaRole = "alarm";

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

// FluidSynth reads the SoundFont through these: the standard calls its own
// defaults make, with each opening counted, so that a test can tell a tune
// playing read nothing from it.
std::atomic<std::uint64_t> g_soundFontOpenings{0};

void* openSoundFont(const char* name)
{
    g_soundFontOpenings.fetch_add(1, std::memory_order_relaxed);
#ifdef _WIN32
    return _wfopen(fs::path(std::u8string(reinterpret_cast<const char8_t*>(name))).c_str(), L"rb");
#else
    return std::fopen(name, "rb");
#endif
}

int readSoundFont(void* buffer, fluid_long_long_t count, void* file)
{
    return std::fread(buffer, static_cast<std::size_t>(count), 1, static_cast<std::FILE*>(file)) == 1 ? FLUID_OK
                                                                                                       : FLUID_FAILED;
}

int seekSoundFont(void* file, fluid_long_long_t offset, int origin)
{
#ifdef _WIN32
    return _fseeki64(static_cast<std::FILE*>(file), offset, origin) == 0 ? FLUID_OK : FLUID_FAILED;
#else
    return fseeko(static_cast<std::FILE*>(file), static_cast<off_t>(offset), origin) == 0 ? FLUID_OK : FLUID_FAILED;
#endif
}

fluid_long_long_t tellSoundFont(void* file)
{
#ifdef _WIN32
    return _ftelli64(static_cast<std::FILE*>(file));
#else
    return ftello(static_cast<std::FILE*>(file));
#endif
}

int closeSoundFont(void* file)
{
    return std::fclose(static_cast<std::FILE*>(file)) == 0 ? FLUID_OK : FLUID_FAILED;
}

}  // namespace

FluidSynthPlayer::Tune FluidSynthPlayer::Tune::read(const fs::path& file)
{
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error)
        throw MidiError("曲のファイルが見つかりません: " + utf8(file));
    if (size > kMaxTuneBytes)
        throw MidiError("曲のファイルが大きすぎます: " + utf8(file));
    std::ifstream in(file, std::ios::binary);
    Tune tune;
    tune.bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof())
        throw MidiError("曲のファイルを読み込めません: " + utf8(file));
    // Read as the sequencer will: a chunk layout can be sound while its
    // events are not (a first event without a status byte), and the
    // sequencer then ends at once without a note, silence that looks like a tune.
    tune.reading = readTune(tune.bytes);
    switch (tune.reading.verdict) {
    case TuneVerdict::Unreadable:
        throw MidiError("曲のファイルが MIDI ファイルではないか、壊れています: " + utf8(file));
    case TuneVerdict::Silent:
        throw MidiError("曲のファイルに鳴らす音符がありません: " + utf8(file));
    case TuneVerdict::Sounding:
        break;
    }
    return tune;
}

namespace {

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
    float sampleRate = 44100.0f;
    // An instrument as FluidSynth knows it: its SoundFont, bank and program.
    using Instrument = std::tuple<int, int, int>;
    // With FluidSynth 2.2 or later a SoundFont's samples are read instrument
    // by instrument, and only those of the tune's instruments are held: any
    // it may select, kept (pinned) so that no program change during the tune
    // reads samples on the audio thread. Without, all are read at once.
    bool byInstrument = false;
    std::string tune;            // the tune whose instruments are held
    std::set<Instrument> held;

    void holdInstrumentsFor(const Tune& next);
    void releaseOtherInstruments();

private:
    std::optional<Instrument> onChannel(int channel) const;
};

std::optional<FluidSynthPlayer::Synth::Instrument> FluidSynthPlayer::Synth::onChannel(int channel) const
{
    fluid_preset_t* preset = fluid().fluid_synth_get_channel_preset(synth.get(), channel);
    if (!preset)
        return std::nullopt;
    return Instrument{fluid().fluid_sfont_get_id(fluid().fluid_preset_get_sfont(preset)),
                      fluid().fluid_preset_get_banknum(preset), fluid().fluid_preset_get_num(preset)};
}

// Every instrument the tune can select, found by FluidSynth itself: the
// tune's program changes, bank selects and system exclusive messages (GM,
// GS and XG resets, drum parts) are sent to the synthesizer in the order the
// player will send them, and whatever a channel then holds is pinned. Twice
// over, since a reset leaves the synthesizer in its mode (GM, GS) for the
// next start, where the second pass starts as a playing does. No tune plays
// meanwhile: the device opens afterwards.
void FluidSynthPlayer::Synth::holdInstrumentsFor(const Tune& next)
{
    tune = next.bytes;
    if (!byInstrument)
        return;
    const auto& api = fluid();
    fluid_synth_t* sounds = synth.get();
    const int channels = api.fluid_synth_count_midi_channels(sounds);
    std::set<Instrument> wanted;
    const auto hold = [&](int channel) {
        const auto instrument = onChannel(channel);
        if (instrument && wanted.insert(*instrument).second && !held.contains(*instrument))
            std::apply([&](int font, int bank, int program) { api.fluid_synth_pin_preset(sounds, font, bank, program); },
                       *instrument);
    };
    for (int pass = 0; pass < 2; ++pass) {
        api.fluid_synth_system_reset(sounds);
        for (const auto& event : next.reading.events) {
            switch (event.kind) {
            case TuneEvent::Kind::NoteOn:
                hold(event.channel);
                break;
            case TuneEvent::Kind::BankSelect:
                api.fluid_synth_cc(sounds, event.channel, event.number, event.value);
                break;
            case TuneEvent::Kind::Program:
                api.fluid_synth_program_change(sounds, event.channel, event.number);
                hold(event.channel);
                break;
            case TuneEvent::Kind::Sysex:
                api.fluid_synth_sysex(sounds, next.bytes.data() + event.at, static_cast<int>(event.length), nullptr,
                                      nullptr, nullptr, 0);
                for (int channel = 0; channel < channels; ++channel)
                    hold(channel);
                break;
            }
        }
    }
    // Those of an earlier tune go.
    for (const auto& [font, bank, program] : held) {
        if (!wanted.contains({font, bank, program}))
            api.fluid_synth_unpin_preset(sounds, font, bank, program);
    }
    held = std::move(wanted);
    api.fluid_synth_system_reset(sounds);
    releaseOtherInstruments();
}

// A channel that holds an instrument the tune never plays lets it go: a
// reset gives every channel one, and its samples would stay in memory.
void FluidSynthPlayer::Synth::releaseOtherInstruments()
{
    if (!byInstrument)
        return;
    const int channels = fluid().fluid_synth_count_midi_channels(synth.get());
    for (int channel = 0; channel < channels; ++channel) {
        const auto instrument = onChannel(channel);
        if (instrument && !held.contains(*instrument))
            fluid().fluid_synth_unset_program(synth.get(), channel);
    }
}

// One load of the sounds, shared between the player and the loading thread,
// so that either may go first.
struct FluidSynthPlayer::Load {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::unique_ptr<Synth> synth;
    std::string failure;             // why there is no synthesizer, when there is none
    std::filesystem::path trying;    // the SoundFont being read now

    void finish(std::unique_ptr<Synth> loaded, std::string why)
    {
        {
            const std::lock_guard lock(mutex);
            synth = std::move(loaded);
            failure = std::move(why);
            done = true;
        }
        finished.notify_all();
    }
};

struct FluidSynthPlayer::Device {
    Synth& synth;
    PlayerPtr player;
    DriverPtr driver;
    PeakLimiter limiter;
    bool started = false;
    bool renders = false;   // the driver calls render(): its progress and level can be watched
    bool reopened = false;  // the output was lost once during this tune and opened again
    std::optional<std::chrono::steady_clock::time_point> endedAt;  // when the tune's events ran out
    // Written by the audio thread, read by poll(): frames rendered, and the
    // count at the end of the last block anyone could hear.
    std::atomic<std::uint64_t> rendered{0};
    std::atomic<std::uint64_t> lastAudible{0};
    // The longest a render call took, and the frames it rendered.
    std::atomic<std::int64_t> longestRenderNs{0};
    std::atomic<int> longestRenderFrames{0};
    std::uint64_t seenRendered = 0;
    std::chrono::steady_clock::time_point progressAt{};

    explicit Device(Synth& loaded)
        : synth(loaded)
        , player(fluid().new_fluid_player(loaded.synth.get()))
        , limiter(kCeiling, loaded.sampleRate)
    {
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device()
    {
        // The driver goes first: it runs the player from the audio thread.
        driver.reset();
        player.reset();
        fluid().fluid_synth_system_reset(synth.synth.get());  // no note rings on into the next tune
        synth.releaseOtherInstruments();
    }

    std::uint64_t framesFor(std::chrono::milliseconds span) const
    {
        return static_cast<std::uint64_t>(synth.sampleRate) * static_cast<std::uint64_t>(span.count()) / 1000;
    }

    // Runs on the audio thread: the synthesizer's output, effects mixed in,
    // through the limiter.
    static int render(void* data, int frames, int effects, float* fx[], int outputs, float* out[])
    {
        auto& device = *static_cast<Device*>(data);
        const auto start = std::chrono::steady_clock::now();
        int result = FLUID_OK;
        if (effects == 0 && outputs >= 2) {
            float* mixed[] = {out[0], out[1], out[0], out[1]};
            result = fluid().fluid_synth_process(device.synth.synth.get(), frames, 4, mixed, outputs, out);
        } else {
            result = fluid().fluid_synth_process(device.synth.synth.get(), frames, effects, fx, outputs, out);
        }
        device.limiter.process(out, outputs, frames);
        float peak = 0.0f;
        for (int channel = 0; channel < outputs; ++channel) {
            for (int i = 0; i < frames; ++i)
                peak = std::max(peak, std::abs(out[channel][i]));
        }
        const std::uint64_t done = device.rendered.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(frames);
        if (peak > kInaudible)
            device.lastAudible.store(done, std::memory_order_relaxed);
        device.rendered.store(done, std::memory_order_relaxed);
        const auto took = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
        if (took.count() > device.longestRenderNs.load(std::memory_order_relaxed)) {
            device.longestRenderNs.store(took.count(), std::memory_order_relaxed);
            device.longestRenderFrames.store(frames, std::memory_order_relaxed);
        }
        return result;
    }
};

namespace {

// Gives the freed SoundFont back to the system: glibc keeps small freed
// blocks for reuse, and a SoundFont leaves megabytes of them.
void trimHeap() noexcept
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

std::string joined(const std::vector<std::string>& places)
{
    std::string text;
    for (const auto& place : places)
        text += (text.empty() ? "" : ", ") + place;
    return text;
}

}  // namespace

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
}

// A load still in flight is left to finish, or to hang, on its own thread.
FluidSynthPlayer::~FluidSynthPlayer()
{
    close();
}

void FluidSynthPlayer::prepare(const fs::path& tune)
{
    // A load under way, loaded, or failed: each stays as it is. A failure is
    // tried again at the next Open, or after release(); trying on every tick
    // would read a broken SoundFont over and over. A tune changed since is
    // found when it opens.
    if (m_synth || m_load)
        return;
    auto load = std::make_shared<Load>();
    std::thread([load, config = m_config, tune] { loadSynth(config, tune, *load); }).detach();
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

bool FluidSynthPlayer::holdsSounds() const noexcept
{
    return m_synth || m_load;
}

bool FluidSynthPlayer::holdsOutput() const noexcept
{
    return m_device && m_device->driver;
}

std::uint64_t FluidSynthPlayer::soundFontOpenings()
{
    return g_soundFontOpenings.load(std::memory_order_relaxed);
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
    Tune tune = Tune::read(m_file);
    // The user may have put a SoundFont in place or installed FluidSynth
    // since the last load failed.
    if (loadFailed())
        m_load.reset();
    prepare(m_file);
    if (takeLoaded(kOpenWait))
        openDevice(tune);
    else
        m_pending = Pending{std::move(tune), false, std::chrono::steady_clock::now()};
}

void FluidSynthPlayer::openDevice(const Tune& tune)
{
    // A tune other than the one armed: its instruments are read now, before
    // it starts, never while it plays.
    if (m_synth->tune != tune.bytes) {
        m_synth->holdInstrumentsFor(tune);
        trimHeap();
    }
    auto device = std::make_unique<Device>(*m_synth);
    // From memory: the player reads nothing from the disk on the audio thread.
    if (!device->player
        || fluid().fluid_player_add_mem(device->player.get(), tune.bytes.data(), tune.bytes.size()) != FLUID_OK)
        throw MidiError("MIDI プレーヤーを開けません: " + utf8(m_file));
    if (!openOutput(*device))
        throw MidiError("音を出す装置（オーディオ出力）が見つかりません");
    m_device = std::move(device);
}

bool FluidSynthPlayer::openOutput(Device& device)
{
    device.driver.reset();
    const auto drivers = m_config.audioDrivers.empty() ? std::vector<std::string>{""} : m_config.audioDrivers;
    fluid_settings_t* settings = m_synth->settings.get();
    for (const auto& driver : drivers) {
        const std::string name = driver.empty() ? m_synth->defaultDriver : driver;
        fluid().fluid_settings_setstr(settings, "audio.driver", name.c_str());
        // FluidSynth's file renderer takes no processing callback; it serves
        // tests that look at timing, not level.
        device.renders = name != "file";
        device.driver.reset(device.renders ? fluid().new_fluid_audio_driver2(settings, &Device::render, &device)
                                           : fluid().new_fluid_audio_driver(settings, m_synth->synth.get()));
        if (device.driver) {
            device.seenRendered = device.rendered.load(std::memory_order_relaxed);
            device.progressAt = std::chrono::steady_clock::now();
            return true;
        }
    }
    return false;
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
        bool loaded = false;
        try {
            loaded = takeLoaded(0ms);
        } catch (const MidiError&) {
            m_pending.reset();
            throw;
        }
        if (!loaded) {
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
        Pending pending = std::move(*m_pending);
        m_pending.reset();
        openDevice(pending.tune);
        if (pending.play)
            start();
    }
    if (!m_device)
        return MidiState::Closed;
    Device& device = *m_device;
    if (!device.started || !device.driver)
        return MidiState::Stopped;
    // The player reports itself playing until its voices have died away:
    // its position tells when the events are over (it knows their length
    // once it has read the tune, on the audio thread).
    fluid_player_t* player = device.player.get();
    const int length = fluid().fluid_player_get_total_ticks(player);
    const bool playing = fluid().fluid_player_get_status(player) == FLUID_PLAYER_PLAYING
        && (length <= 0 || fluid().fluid_player_get_current_tick(player) < length);
    if (device.renders)
        watchOutput(device);
    if (playing)
        return MidiState::Playing;
    // The tune's events are over: its tail rings while anyone could hear it,
    // and no longer than kLongestTail.
    const auto now = std::chrono::steady_clock::now();
    if (!device.endedAt)
        device.endedAt = now;
    const bool ringing = device.renders
        ? device.rendered.load(std::memory_order_relaxed) - device.lastAudible.load(std::memory_order_relaxed)
            < device.framesFor(kTailQuiet)
        : fluid().fluid_synth_get_active_voice_count(device.synth.synth.get()) > 0;
    if (ringing && now - *device.endedAt < kLongestTail)
        return MidiState::Playing;
    // Played through: hold no stream open on the sound server.
    device.driver.reset();
    return MidiState::Stopped;
}

void FluidSynthPlayer::watchOutput(Device& device)
{
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t rendered = device.rendered.load(std::memory_order_relaxed);
    if (rendered != device.seenRendered) {
        device.seenRendered = rendered;
        device.progressAt = now;
        return;
    }
    if (now - device.progressAt < kStallPatience)
        return;
    // The output stopped taking audio: the sound server went away, or the
    // device did. A server started again is found by opening anew, once.
    if (device.reopened || !openOutput(device))
        throw MidiError("音を出す装置（オーディオ出力）が止まり、曲が聞こえなくなりました");
    device.reopened = true;
}

// The instruments of the tune as it is now; none, while it cannot be read:
// the failure is told when it opens.
void FluidSynthPlayer::holdInstrumentsOfTheArmedTune(Synth& loaded, const fs::path& tune)
{
    try {
        loaded.holdInstrumentsFor(Tune::read(tune));
    } catch (const MidiError&) {
        loaded.releaseOtherInstruments();
    }
    trimHeap();
}

// Runs on a thread of its own: loads the library, makes the synthesizer,
// loads the first SoundFont that loads and holds the armed tune's instruments.
void FluidSynthPlayer::loadSynth(const FluidSynthConfig& config, const fs::path& tune, Load& load)
{
    if (!FluidSynthApi::load()) {
        load.finish(nullptr, "MIDI 音源ライブラリ (FluidSynth) が見つかりません");
        return;
    }
    auto loaded = std::make_unique<Synth>();
    loaded->settings.reset(fluid().new_fluid_settings());
    fluid_settings_t* settings = loaded->settings.get();
    char text[256] = {};
    fluid().fluid_settings_copystr(settings, "audio.driver", text, sizeof text);
    loaded->defaultDriver = text;
    fluid().fluid_settings_setnum(settings, "synth.gain", kSynthGain);
    if (fluid().fluid_settings_get_type(settings, "audio.pulseaudio.media-role") == FLUID_STR_TYPE)
        fluid().fluid_settings_setstr(settings, "audio.pulseaudio.media-role", kMediaRole);
    // A SoundFont's headers only: samples are read as the tune's instruments are held.
    loaded->byInstrument = fluid().fluid_synth_pin_preset && fluid().fluid_synth_unpin_preset
        && fluid().fluid_settings_get_type(settings, "synth.dynamic-sample-loading") == FLUID_INT_TYPE;
    if (loaded->byInstrument)
        fluid().fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    // The tune ends as it played: a reset after it would give every channel
    // an instrument again, on the audio thread.
    fluid().fluid_settings_setint(settings, "player.reset-synth", 0);
    for (const auto& [name, value] : config.settings)
        applySetting(settings, name, value);
    double sampleRate = 0;
    if (fluid().fluid_settings_getnum(settings, "synth.sample-rate", &sampleRate) == FLUID_OK && sampleRate > 0)
        loaded->sampleRate = static_cast<float>(sampleRate);
    loaded->synth.reset(fluid().new_fluid_synth(settings));
    if (!loaded->synth) {
        load.finish(nullptr, "MIDI シンセサイザーを用意できません");
        return;
    }
    // FluidSynth's own SoundFont loader, reading through the counted calls.
    fluid_sfloader_t* loader = fluid().new_fluid_defsfloader(settings);
    if (loader) {
        fluid().fluid_sfloader_set_callbacks(loader, openSoundFont, readSoundFont, seekSoundFont, tellSoundFont,
                                             closeSoundFont);
        fluid().fluid_synth_add_sfloader(loaded->synth.get(), loader);  // the synthesizer owns it
    }

    std::vector<std::string> looked;
    for (fs::path soundFont : config.soundFonts) {
        if (soundFont.empty()) {
            text[0] = '\0';
            fluid().fluid_settings_copystr(settings, "synth.default-soundfont", text, sizeof text);
            soundFont = fs::path(std::u8string(text, text + std::char_traits<char>::length(text)));
        }
        const std::string place = utf8(soundFont);
        if (soundFont.empty() || std::find(looked.begin(), looked.end(), place) != looked.end())
            continue;
        looked.push_back(place);
        std::error_code error;
        if (!fs::exists(soundFont, error))
            continue;
        {
            const std::lock_guard lock(load.mutex);
            load.trying = soundFont;
        }
        // Read by instrument, no channel is given one yet: the tune's come next.
        if (fluid().fluid_synth_sfload(loaded->synth.get(), place.c_str(), loaded->byInstrument ? 0 : 1)
            != FLUID_FAILED) {
            holdInstrumentsOfTheArmedTune(*loaded, tune);
            load.finish(std::move(loaded), {});
            return;
        }
    }
    load.finish(nullptr, "音色ファイル (SoundFont) が見つからないか、読み込めません。探した場所: " + joined(looked));
}

}  // namespace zentick::platform
