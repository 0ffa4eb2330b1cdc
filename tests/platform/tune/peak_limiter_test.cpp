#include "platform/tune/peak_limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zentick::platform {
namespace {

constexpr float kCeiling = 0.891f;
constexpr float kRate = 44100.0f;

// A stereo sine of `seconds`, at `amplitude`, through the limiter.
std::vector<float> limited(PeakLimiter& limiter, float amplitude, float seconds)
{
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<float> left(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        left[static_cast<std::size_t>(i)] = amplitude * std::sin(2.0f * 3.14159265f * 440.0f * static_cast<float>(i) / kRate);
    std::vector<float> right = left;
    // In blocks, as the audio driver hands them over.
    for (int at = 0; at < frames; at += 512) {
        float* block[] = {left.data() + at, right.data() + at};
        limiter.process(block, 2, std::min(512, frames - at));
    }
    EXPECT_EQ(left, right) << "the channels share one gain";
    return left;
}

float peak(const std::vector<float>& samples, std::size_t from = 0)
{
    float highest = 0;
    for (std::size_t i = from; i < samples.size(); ++i)
        highest = std::max(highest, std::abs(samples[i]));
    return highest;
}

TEST(PeakLimiter, NothingCrossesTheCeilingAndQuietSoundIsLeftAlone)
{
    struct Case {
        const char* name;
        float amplitude;
        float expectedPeak;
    } const cases[] = {
        {"a quiet tune", 0.3f, 0.3f},
        {"just under the ceiling", 0.88f, 0.88f},
        {"dense chords at four times full scale", 4.0f, kCeiling},
        {"a freak peak", 1000.0f, kCeiling},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeakLimiter limiter(kCeiling, kRate);
        const auto out = limited(limiter, c.amplitude, 0.5f);
        EXPECT_LE(peak(out), kCeiling);
        EXPECT_NEAR(peak(out), c.expectedPeak, 0.01f) << "turned down more than needed";
    }
}

TEST(PeakLimiter, RecoversAfterALoudPassage)
{
    PeakLimiter limiter(kCeiling, kRate);
    limited(limiter, 4.0f, 0.5f);
    EXPECT_LT(limiter.gain(), 0.25f);
    const auto after = limited(limiter, 0.3f, 2.0f);
    EXPECT_NEAR(peak(after, after.size() / 2), 0.3f, 0.01f) << "a soft passage stayed turned down";
}

}  // namespace
}  // namespace zentick::platform
