#pragma once

namespace zentick::platform {

// Keeps the tune under a ceiling without clipping: the gain drops at once on
// a peak that would cross it and recovers slowly, so loud chords are turned
// down as a whole instead of being squared off. The channels share one gain,
// so the stereo picture stays as it is.
class PeakLimiter {
public:
    PeakLimiter(float ceiling, float sampleRate);

    // Limits `frames` samples of each of the `channels` buffers in place.
    void process(float* const* buffers, int channels, int frames) noexcept;

    float gain() const noexcept { return m_gain; }

private:
    float m_ceiling;
    float m_release;  // how far the gain climbs back towards 1 per sample
    float m_gain = 1.0f;
};

}  // namespace zentick::platform
