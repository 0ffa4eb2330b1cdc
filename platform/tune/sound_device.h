#pragma once

// The device a tune plays on: FluidSynth's player on the synthesizer, and
// an audio output that renders it through the peak limiter, watched for
// progress so that a lost output is found and a played-through tune lets
// its output go.

#include "platform/midi_player.h"
#include "platform/tune/fluid_synth_api.h"
#include "platform/tune/peak_limiter.h"
#include "platform/tune/synth_sounds.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#if defined(__linux__)
#include "platform/tune/pulse_output.h"
#endif

namespace zentick::platform {

// Where the audio goes: the sound server through the connection the helper
// holds ("pulseaudio"), or one of FluidSynth's own drivers.
struct AudioOutputs {
    std::vector<std::string> drivers;  // tried in order; "" is FluidSynth's own choice
#if defined(__linux__)
    // Made before the helper contained itself; where there is none, made
    // when a tune needs it, which only a process not contained can do.
    std::shared_ptr<PulseConnection> soundServer;
#endif
};

struct SoundDevice {
    SynthSounds& synth;
    PlayerPtr player;
    DriverPtr driver;
#if defined(__linux__)
    std::unique_ptr<PulseStream> stream;
#endif
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

    explicit SoundDevice(SynthSounds& loaded);
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;
    ~SoundDevice();

    // Opens the first of the outputs that opens; false when none does.
    bool openOutput(AudioOutputs& outputs);
    bool holdsOutput() const;
    // Playing while the tune's events go on and its tail rings; Stopped,
    // with the output let go, once it has played through. Throws
    // MidiOutputLost when the output stopped taking audio and could not be
    // opened again.
    MidiState poll(AudioOutputs& outputs);

private:
    std::uint64_t framesFor(std::chrono::milliseconds span) const;
    void letOutputGo();
    void watchOutput(AudioOutputs& outputs);
    static int render(void* data, int frames, int effects, float* fx[], int outputs, float* out[]);
};

}  // namespace zentick::platform
