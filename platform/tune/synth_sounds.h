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

// Runs on a thread of its own: loads the library, makes the synthesizer
// with `settings`, loads the first of `soundFonts` that loads (an empty
// entry stands for FluidSynth's own default) and holds the instruments of
// the tune in the file `tune`.
void loadSounds(const std::vector<std::filesystem::path>& soundFonts,
                const std::vector<std::pair<std::string, std::string>>& settings, const std::filesystem::path& tune,
                SoundsLoad& load);

// Gives freed sounds back to the system: glibc keeps small freed blocks for
// reuse, and a SoundFont leaves megabytes of them.
void trimHeap() noexcept;

}  // namespace zentick::platform
