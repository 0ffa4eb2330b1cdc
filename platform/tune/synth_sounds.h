#pragma once

// The synthesizer and its sounds: FluidSynth with the first General MIDI
// SoundFont that loads, holding the samples of the armed tune's
// instruments and no others, and the load that makes it, on a thread of its
// own.

#include "platform/tune/fluid_synth_api.h"
#include "platform/tune/tune_reader.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zentick::platform {

struct SynthSounds {
    SettingsPtr settings;
    SynthPtr synth;
    std::filesystem::path soundFont;
    int font = -1;              // the SoundFont's id in the synthesizer
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
    // The channels the tune plays on before it gives them an instrument: on
    // the one a system reset gives them (a piano, the drums).
    std::set<int> onDefault;

    // Works out and holds every instrument `next` can select, and lets go of
    // those of the tune before. Reads samples, for seconds with a large
    // compressed SoundFont: never while a command waits.
    void holdInstrumentsFor(const Tune& next);
    // Every channel as a system reset leaves it, for the held tune's start,
    // its sounds silenced; but an instrument only where the tune plays on
    // the default, so nothing is read: the reset's piano and drum kit are
    // selected, and their samples read, only when the tune plays them.
    // Returns each channel's default instrument (bank, program).
    std::vector<std::pair<int, int>> setUpForTune();

    // How often FluidSynth has opened a SoundFont in this process, to read
    // its headers or an instrument's samples.
    static std::uint64_t soundFontOpenings();

private:
    std::optional<Instrument> onChannel(int channel) const;
};

// One load of the sounds, shared between the player and the loading thread,
// so that either may go first.
struct SoundsLoad {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::unique_ptr<SynthSounds> synth;
    std::string failure;             // why there is no synthesizer, when there is none
    std::filesystem::path trying;    // the SoundFont being read now

    void finish(std::unique_ptr<SynthSounds> loaded, std::string why);
};

// Each runs on a thread of its own, and gives the sounds back through `load`.
// Loads the library, makes the synthesizer with `settings`, loads the first
// of `soundFonts` that loads (an empty entry stands for FluidSynth's own
// default) and holds the instruments of the armed tune, `tune` (none while
// it is not a tune).
void loadSounds(const std::vector<std::filesystem::path>& soundFonts,
                const std::vector<std::pair<std::string, std::string>>& settings, std::string tune,
                SoundsLoad& load);
// Holds the instruments of another tune on sounds already loaded.
void holdInstruments(std::unique_ptr<SynthSounds> sounds, const Tune& tune, SoundsLoad& load);

// The files `soundFonts` (as loadSounds takes them) name, links resolved:
// those there now, which a contained helper may read.
std::vector<std::filesystem::path> soundFontFiles(const std::vector<std::filesystem::path>& soundFonts);

// Gives freed sounds back to the system: glibc keeps small freed blocks for
// reuse, and a SoundFont leaves megabytes of them.
void trimHeap() noexcept;

}  // namespace zentick::platform
