#include "platform/tune/sound_device.h"

#include "platform/tune/helper.h"

#include <algorithm>
#include <cmath>

namespace zentick::platform {

namespace {

using namespace std::chrono_literals;

// -1.5 dBFS: the tune reaches the speakers at most -1 dBFS. A sound server
// that resamples the stream (PipeWire runs at 48 kHz, the synthesizer at
// 44.1) rebuilds peaks between the samples, which stand a little above the
// samples' own: FluidR3's piano came out 0.04 dB over a -1 dBFS ceiling.
constexpr float kCeiling = 0.841f;

// Below this (-54 dBFS) a voice's tail is lost under any room's noise; once
// the tune's events are over the output is let go when it has stayed there
// kTailQuiet, rather than while reverberation dies away for seconds.
constexpr float kInaudible = 0.002f;
constexpr auto kTailQuiet = 100ms;
// However it rings, a tune's end is let go this long after its last event.
constexpr auto kLongestTail = 600ms;
// An output that takes no audio for this long while the tune plays is lost.
constexpr auto kStallPatience = 2000ms;

}  // namespace

SoundDevice::SoundDevice(SynthSounds& loaded)
    : synth(loaded)
    , player(fluid().new_fluid_player(loaded.synth.get()))
    , limiter(kCeiling, loaded.sampleRate)
{
}

SoundDevice::~SoundDevice()
{
    // The output goes first: it runs the player from the audio thread.
    letOutputGo();
    player.reset();
    // No note rings on into the next tune, which starts as this one did.
    synth.setUpForTune();
}

std::uint64_t SoundDevice::framesFor(std::chrono::milliseconds span) const
{
    return static_cast<std::uint64_t>(synth.sampleRate) * static_cast<std::uint64_t>(span.count()) / 1000;
}

// Runs on the audio thread: the synthesizer's output, effects mixed in,
// through the limiter.
int SoundDevice::render(void* data, int frames, int effects, float* fx[], int outputs, float* out[])
{
    auto& device = *static_cast<SoundDevice*>(data);
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

void SoundDevice::letOutputGo()
{
    driver.reset();
#if defined(__linux__)
    stream.reset();
#endif
}

bool SoundDevice::holdsOutput() const
{
#if defined(__linux__)
    if (stream)
        return true;
#endif
    return driver != nullptr;
}

bool SoundDevice::openOutput(AudioOutputs& outputs)
{
    letOutputGo();
    fluid_settings_t* settings = synth.settings.get();
    for (const auto& choice : outputs.drivers) {
        const std::string name = choice.empty() ? synth.defaultDriver : choice;
        renders = true;
#if defined(__linux__)
        if (name == "pulseaudio") {
            if (!outputs.soundServer || !outputs.soundServer->alive())
                outputs.soundServer = PulseConnection::connect(std::chrono::milliseconds(0));
            if (outputs.soundServer)
                stream = outputs.soundServer->play(&SoundDevice::render, this, static_cast<unsigned>(synth.sampleRate));
            if (!stream)
                continue;
        }
#endif
        if (!holdsOutput()) {
            fluid().fluid_settings_setstr(settings, "audio.driver", name.c_str());
            // FluidSynth's file renderer takes no processing callback; it
            // serves tests that look at timing, not level.
            renders = name != "file";
            driver.reset(renders ? fluid().new_fluid_audio_driver2(settings, &SoundDevice::render, this)
                                 : fluid().new_fluid_audio_driver(settings, synth.synth.get()));
        }
        if (holdsOutput()) {
            seenRendered = rendered.load(std::memory_order_relaxed);
            progressAt = std::chrono::steady_clock::now();
            return true;
        }
    }
    return false;
}

MidiState SoundDevice::poll(AudioOutputs& outputs)
{
    if (!started || !holdsOutput())
        return MidiState::Stopped;
    // The player reports itself playing until its voices have died away:
    // its position tells when the events are over (it knows their length
    // once it has read the tune, on the audio thread).
    const int length = fluid().fluid_player_get_total_ticks(player.get());
    const bool playing = fluid().fluid_player_get_status(player.get()) == FLUID_PLAYER_PLAYING
        && (length <= 0 || fluid().fluid_player_get_current_tick(player.get()) < length);
    if (renders)
        watchOutput(outputs);
    if (playing)
        return MidiState::Playing;
    // The tune's events are over: its tail rings while anyone could hear it,
    // and no longer than kLongestTail.
    const auto now = std::chrono::steady_clock::now();
    if (!endedAt)
        endedAt = now;
    const bool ringing = renders
        ? rendered.load(std::memory_order_relaxed) - lastAudible.load(std::memory_order_relaxed)
            < framesFor(kTailQuiet)
        : fluid().fluid_synth_get_active_voice_count(synth.synth.get()) > 0;
    if (ringing && now - *endedAt < kLongestTail)
        return MidiState::Playing;
    // Played through: hold no stream open on the sound server.
    letOutputGo();
    return MidiState::Stopped;
}

void SoundDevice::watchOutput(AudioOutputs& outputs)
{
#if defined(__linux__)
    const bool gone = stream && stream->failed();
#else
    const bool gone = false;
#endif
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t done = rendered.load(std::memory_order_relaxed);
    if (done != seenRendered && !gone) {
        seenRendered = done;
        progressAt = now;
        return;
    }
    if (!gone && now - progressAt < kStallPatience)
        return;
    // The output stopped taking audio: the sound server went away, or the
    // device did. A server started again is found by opening anew, once;
    // a contained helper, which may make no new connection, says the output
    // is lost, and the clock opens the tune in a new helper.
    if (reopened || !openOutput(outputs))
        throw MidiOutputLost("音を出す装置（オーディオ出力）が止まり、曲が聞こえなくなりました");
    reopened = true;
}

}  // namespace zentick::platform
