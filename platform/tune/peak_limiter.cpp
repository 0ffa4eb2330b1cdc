#include "platform/tune/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace zentick::platform {

namespace {

// Slow enough that the gain does not pump within a note, quick enough that
// a soft passage after a loud chord is heard at its own level.
constexpr float kReleaseSeconds = 0.25f;

}  // namespace

PeakLimiter::PeakLimiter(float ceiling, float sampleRate)
    : m_ceiling(ceiling)
    , m_release(1.0f - std::exp(-1.0f / (kReleaseSeconds * sampleRate)))
{
}

void PeakLimiter::process(float* const* buffers, int channels, int frames) noexcept
{
    for (int frame = 0; frame < frames; ++frame) {
        float peak = 0.0f;
        for (int channel = 0; channel < channels; ++channel)
            peak = std::max(peak, std::abs(buffers[channel][frame]));
        const float wanted = peak > m_ceiling ? m_ceiling / peak : 1.0f;
        m_gain = wanted < m_gain ? wanted : m_gain + (wanted - m_gain) * m_release;
        // Recovering can overshoot what this very sample allows.
        const float gain = std::min(m_gain, wanted);
        // The clamp only catches rounding: gain times peak may land a hair above.
        for (int channel = 0; channel < channels; ++channel)
            buffers[channel][frame] = std::clamp(buffers[channel][frame] * gain, -m_ceiling, m_ceiling);
    }
}

}  // namespace zentick::platform
