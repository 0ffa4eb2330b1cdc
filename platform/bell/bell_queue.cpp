#include "platform/bell/bell_queue.h"

namespace zentick::platform {

BellQueue::BellQueue(Clock::duration window, Clock::duration firstGuess)
    : m_window(window)
    , m_bellLength(firstGuess)
{
}

bool BellQueue::request(Clock::time_point now)
{
    m_deadline = now + m_window;
    if (m_ringing) {
        ++m_waiting;
        return false;
    }
    m_ringing = true;
    m_startedAt = now;
    return true;
}

bool BellQueue::finished(Clock::time_point now)
{
    if (!m_ringing)
        return false;
    m_ringing = false;
    if (now > m_startedAt)
        m_bellLength = now - m_startedAt;
    return startNext(now);
}

bool BellQueue::startNext(Clock::time_point now)
{
    if (m_waiting == 0)
        return false;
    if (now + m_bellLength > m_deadline) {
        m_waiting = 0;  // these would sound past the next burst
        return false;
    }
    --m_waiting;
    m_ringing = true;
    m_startedAt = now;
    return true;
}

void BellQueue::silence()
{
    m_waiting = 0;
    m_ringing = false;
}

}  // namespace zentick::platform
