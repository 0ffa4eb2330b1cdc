#include "platform/tune/synth_sounds.h"

#include "platform/file_system.h"
#include "platform/midi_player.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

// FluidSynth's default gain (0.2) leaves a piano tune near -30 dBFS, some
// 20 dB below the desktop's bell. At 4.0 a piano melody at velocity 100
// peaks near -4 dBFS with the default SoundFont; the limiter catches what
// dense, loud tunes would push past the ceiling.
constexpr double kSynthGain = 4.0;

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

// FluidSynth's own default SoundFont, as its settings name it.
fs::path defaultSoundFont(fluid_settings_t* settings)
{
    char text[1024] = {};
    fluid().fluid_settings_copystr(settings, "synth.default-soundfont", text, sizeof text);
    return fs::path(std::u8string(text, text + std::char_traits<char>::length(text)));
}

std::string joined(const std::vector<std::string>& places)
{
    std::string text;
    for (const auto& place : places)
        text += (text.empty() ? "" : ", ") + place;
    return text;
}

}  // namespace

std::uint64_t SynthSounds::soundFontOpenings()
{
    return g_soundFontOpenings.load(std::memory_order_relaxed);
}

std::optional<SynthSounds::Instrument> SynthSounds::onChannel(int channel) const
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
void SynthSounds::holdInstrumentsFor(const Tune& next)
{
    const auto& api = fluid();
    fluid_synth_t* sounds = synth.get();
    const int channels = api.fluid_synth_count_midi_channels(sounds);
    tune = next.bytes;
    onDefault.clear();
    std::set<Instrument> wanted;
    const auto hold = [&](int channel) {
        const auto instrument = onChannel(channel);
        if (byInstrument && instrument && wanted.insert(*instrument).second && !held.contains(*instrument))
            std::apply([&](int id, int bank, int program) { api.fluid_synth_pin_preset(sounds, id, bank, program); },
                       *instrument);
    };
    for (int pass = 0; pass < 2; ++pass) {
        const auto defaults = setUpForTune();
        // A channel given no instrument since the reset.
        std::vector<bool> waiting(static_cast<std::size_t>(channels));
        for (int channel = 0; channel < channels; ++channel)
            waiting[static_cast<std::size_t>(channel)] = !onChannel(channel);
        for (const auto& event : next.reading.events) {
            const auto channel = static_cast<std::size_t>(event.channel);
            switch (event.kind) {
            case TuneEvent::Kind::NoteOn:
                if (waiting[channel] && !onChannel(event.channel)) {
                    api.fluid_synth_program_select(sounds, event.channel, font, defaults[channel].first,
                                                   defaults[channel].second);
                    onDefault.insert(event.channel);
                }
                waiting[channel] = false;
                hold(event.channel);
                break;
            case TuneEvent::Kind::BankSelect:
                api.fluid_synth_cc(sounds, event.channel, event.number, event.value);
                break;
            case TuneEvent::Kind::Program:
                api.fluid_synth_program_change(sounds, event.channel, event.number);
                waiting[channel] = false;
                hold(event.channel);
                break;
            case TuneEvent::Kind::Sysex:
                // A GM, GS or XG reset gives every channel an instrument.
                api.fluid_synth_sysex(sounds, next.bytes.data() + event.at, static_cast<int>(event.length), nullptr,
                                      nullptr, nullptr, 0);
                for (int each = 0; each < channels; ++each) {
                    waiting[static_cast<std::size_t>(each)] = waiting[static_cast<std::size_t>(each)] && !onChannel(each);
                    hold(each);
                }
                break;
            }
        }
    }
    // Those of an earlier tune go.
    for (const auto& [id, bank, program] : held) {
        if (!wanted.contains({id, bank, program}))
            api.fluid_synth_unpin_preset(sounds, id, bank, program);
    }
    held = std::move(wanted);
    setUpForTune();
}

std::vector<std::pair<int, int>> SynthSounds::setUpForTune()
{
    const auto& api = fluid();
    fluid_synth_t* sounds = synth.get();
    // With the SoundFont's banks out of reach, the reset finds no instrument
    // to give a channel, and so reads no sample; all else it does as ever.
    constexpr int kOutOfReach = 1 << 20;
    api.fluid_synth_set_bank_offset(sounds, font, kOutOfReach);
    api.fluid_synth_system_reset(sounds);
    api.fluid_synth_set_bank_offset(sounds, font, 0);
    const int channels = api.fluid_synth_count_midi_channels(sounds);
    std::vector<std::pair<int, int>> defaults(static_cast<std::size_t>(channels));
    for (int channel = 0; channel < channels; ++channel) {
        int fromFont = 0;
        auto& [bank, program] = defaults[static_cast<std::size_t>(channel)];
        api.fluid_synth_get_program(sounds, channel, &fromFont, &bank, &program);
    }
    for (const int channel : onDefault) {
        const auto& [bank, program] = defaults[static_cast<std::size_t>(channel)];
        api.fluid_synth_program_select(sounds, channel, font, bank, program);
    }
    return defaults;
}

void SoundsLoad::finish(std::unique_ptr<SynthSounds> loaded, std::string why)
{
    {
        const std::lock_guard lock(mutex);
        synth = std::move(loaded);
        failure = std::move(why);
        done = true;
    }
    finished.notify_all();
}

void trimHeap() noexcept
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Runs on a thread of its own: loads the library, makes the synthesizer,
// loads the first SoundFont that loads and holds the armed tune's instruments.
void loadSounds(const std::vector<fs::path>& soundFonts, const std::vector<std::pair<std::string, std::string>>& settingsGiven,
                std::string tune, SoundsLoad& load)
{
    if (!FluidSynthApi::load()) {
        load.finish(nullptr, "MIDI 音源ライブラリ (FluidSynth) が見つかりません");
        return;
    }
    auto loaded = std::make_unique<SynthSounds>();
    loaded->settings.reset(fluid().new_fluid_settings());
    fluid_settings_t* settings = loaded->settings.get();
    char text[256] = {};
    fluid().fluid_settings_copystr(settings, "audio.driver", text, sizeof text);
    loaded->defaultDriver = text;
    fluid().fluid_settings_setnum(settings, "synth.gain", kSynthGain);
    // A SoundFont's headers only: samples are read as the tune's instruments are held.
    loaded->byInstrument = fluid().fluid_synth_pin_preset && fluid().fluid_synth_unpin_preset
        && fluid().fluid_settings_get_type(settings, "synth.dynamic-sample-loading") == FLUID_INT_TYPE;
    if (loaded->byInstrument)
        fluid().fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    // The tune ends as it played: a reset after it would give every channel
    // an instrument again, on the audio thread.
    fluid().fluid_settings_setint(settings, "player.reset-synth", 0);
    for (const auto& [name, value] : settingsGiven)
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
    for (fs::path soundFont : soundFonts) {
        if (soundFont.empty())
            soundFont = defaultSoundFont(settings);
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
        // No channel is given an instrument yet: the tune's come next.
        loaded->font = fluid().fluid_synth_sfload(loaded->synth.get(), place.c_str(), 0);
        if (loaded->font != FLUID_FAILED) {
            loaded->soundFont = soundFont;
            // The armed tune as it is now; while it is no tune, no
            // instrument is held, and the failure is told when it opens.
            const TuneReading reading = readTune(tune);
            if (reading.verdict == TuneVerdict::Sounding)
                loaded->holdInstrumentsFor(Tune{std::move(tune), reading});
            else
                loaded->setUpForTune();
            trimHeap();
            load.finish(std::move(loaded), {});
            return;
        }
    }
    load.finish(nullptr, "音色ファイル (SoundFont) が見つからないか、読み込めません。探した場所: " + joined(looked));
}

void holdInstruments(std::unique_ptr<SynthSounds> sounds, const Tune& tune, SoundsLoad& load)
{
    {
        const std::lock_guard lock(load.mutex);
        load.trying = sounds->soundFont;
    }
    sounds->holdInstrumentsFor(tune);
    trimHeap();
    load.finish(std::move(sounds), {});
}

std::vector<fs::path> soundFontFiles(const std::vector<fs::path>& soundFonts)
{
    std::vector<fs::path> files;
    SettingsPtr settings(FluidSynthApi::load() ? fluid().new_fluid_settings() : nullptr);
    for (fs::path soundFont : soundFonts) {
        if (soundFont.empty() && settings)
            soundFont = defaultSoundFont(settings.get());
        std::error_code missing;
        const fs::path file = fs::canonical(soundFont, missing);
        if (!missing && fs::is_regular_file(file, missing))
            files.push_back(file);
    }
    return files;
}

}  // namespace zentick::platform
