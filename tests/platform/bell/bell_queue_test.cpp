#include "platform/bell/bell_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace zentick::platform {
namespace {

using namespace std::chrono_literals;
using Clock = BellQueue::Clock;

// Plays the queue as the sound system would, every bell lasting `bell`:
// returns when each bell started, measured from the first beep.
std::vector<Clock::duration> play(BellQueue& queue, const std::vector<std::pair<Clock::duration, int>>& beeps,
                                  Clock::duration bell, Clock::duration until)
{
    const Clock::time_point start{};
    std::vector<Clock::duration> started;
    std::size_t next = 0;
    Clock::time_point ends = Clock::time_point::max();
    for (Clock::duration now = 0ms; now <= until; now += 1ms) {
        if (queue.ringing() && start + now >= ends && queue.finished(start + now)) {
            started.push_back(now);
            ends = start + now + bell;
        }
        for (; next < beeps.size() && beeps[next].first == now; ++next) {
            for (int i = 0; i < beeps[next].second; ++i) {
                if (queue.request(start + now)) {
                    started.push_back(now);
                    ends = start + now + bell;
                }
            }
        }
    }
    return started;
}

TEST(BellQueue, BellsFollowEachOtherUpToTheNextBurstAndNoFurther)
{
    struct Case {
        const char* name;
        std::vector<std::pair<Clock::duration, int>> beeps;  // when, and how many at once
        std::size_t bells;
        Clock::duration lastStart;
    } const cases[] = {
        {"a single beep is one bell", {{0ms, 1}}, 1, 0ms},
        // 3000 / 140 leaves room for 21 bells; the other 180 are never heard.
        {"a burst fills the tick, back to back", {{0ms, 201}}, 21, 20 * 140ms},
        // The 60 ms left over before the next tick is too short for a bell.
        {"the next tick's burst follows on", {{0ms, 201}, {3000ms, 201}}, 42, 3000ms + 20 * 140ms},
        {"a beep while one rings waits its turn", {{0ms, 1}, {50ms, 1}}, 2, 140ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BellQueue queue(3000ms, 140ms);
        const auto started = play(queue, c.beeps, 140ms, 10s);
        ASSERT_EQ(started.size(), c.bells);
        EXPECT_EQ(started.back(), c.lastStart);
        for (std::size_t i = 1; i < started.size(); ++i)
            EXPECT_LT(started[i] - started[i - 1] - 140ms, 140ms) << "a pause as long as a bell before bell " << i;
        EXPECT_FALSE(queue.ringing());
        EXPECT_EQ(queue.waiting(), 0);
    }
}

TEST(BellQueue, LearnsTheBellsLengthFromTheFirstOneHeard)
{
    BellQueue queue(1000ms, 10ms);  // the guess is far too short
    const auto started = play(queue, {{0ms, 50}}, 300ms, 5s);
    // 0, 300, 600: a fourth would end at 1200 ms, past the next tick.
    EXPECT_EQ(started, (std::vector<Clock::duration>{0ms, 300ms, 600ms}));
}

TEST(BellQueue, SilenceDropsEveryBellStillToCome)
{
    BellQueue queue(3000ms, 140ms);
    EXPECT_TRUE(queue.request(Clock::time_point{}));
    for (int i = 0; i < 200; ++i)
        EXPECT_FALSE(queue.request(Clock::time_point{}));
    queue.silence();
    EXPECT_FALSE(queue.ringing());
    EXPECT_FALSE(queue.finished(Clock::time_point{} + 140ms)) << "the stopped bell's late end starts nothing";
    EXPECT_TRUE(queue.request(Clock::time_point{} + 200ms)) << "the next beep sounds at once";
}

}  // namespace
}  // namespace zentick::platform
