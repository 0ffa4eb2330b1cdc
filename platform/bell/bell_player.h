#pragma once

#include "platform/beeper.h"
#include "platform/bell/bell_queue.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace zentick::platform {

// The desktop's own bell sound, played without waiting for it, as an alarm
// rather than an alert sound: the desktop's alert volume leaves it alone.
// Beeps that come while a bell rings are heard after it, back to back, for
// at most `burstWindow` after the latest beep (the clock's tick), so a burst
// sounds as one continuous run of bells up to the next tick. A bell that
// fails is tried once more on a fresh connection, which finds a sound
// server started again since the last bell.
class BellBeeper final : public Beeper {
public:
    explicit BellBeeper(std::chrono::milliseconds burstWindow);
    ~BellBeeper() override;
    BellBeeper(const BellBeeper&) = delete;
    BellBeeper& operator=(const BellBeeper&) = delete;

    void beep() override;
    void silence() override;
    std::string unheardBecause() const override;

private:
    struct Canberra;

    void connect();
    void ring(bool again = false);
    void rung(std::uint32_t bell, int error);

    QObject m_events;  // receives the ends of bells from the sound system's thread
    QTimer m_fallbackBell;  // the end of a toolkit beep, which reports none
    BellQueue m_queue;
    std::uint32_t m_bell = 0;  // the bell that rings now; older ends are stale
    bool m_again = false;      // it is a bell that failed, tried once more
    std::string m_unheard;     // why the last bell was not heard
    std::unique_ptr<Canberra> m_canberra;  // empty where no sound system answers
};

}  // namespace zentick::platform
