#pragma once

#include <chrono>

namespace zentick::platform {

// Which of the bells asked for are heard. Bells sound back to back, one
// for each beep, but none starts that would still ring `window` after the
// latest beep: a burst of beeps fills the time to the next burst and never
// piles up behind it. A bell's length is learnt from the last one heard.
class BellQueue {
public:
    using Clock = std::chrono::steady_clock;

    BellQueue(Clock::duration window, Clock::duration firstGuess);

    // A beep. True when a bell is to start now.
    bool request(Clock::time_point now);
    // The bell that rang has ended. True when the next is to start now.
    bool finished(Clock::time_point now);
    // Drops every bell still to come; stopping the one that rings is the caller's.
    void silence();

    bool ringing() const { return m_ringing; }
    int waiting() const { return m_waiting; }

private:
    bool startNext(Clock::time_point now);

    Clock::duration m_window;
    Clock::duration m_bellLength;
    Clock::time_point m_deadline{};
    Clock::time_point m_startedAt{};
    int m_waiting = 0;
    bool m_ringing = false;
};

}  // namespace zentick::platform
