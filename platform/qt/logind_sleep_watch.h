#pragma once

#include "platform/sleep_watch.h"

#include <QObject>

namespace zentick::platform {

// The computer's sleep as systemd-logind announces it on the system bus
// (PrepareForSleep), and the system's clocks that tell time asleep from
// time awake. Without logind, or a system bus, no word comes: the clock
// then sees the sleep at its next tick.
class LogindSleepWatch final : public QObject, public SleepWatch {
    Q_OBJECT

public:
    LogindSleepWatch() = default;

    void onWake(std::function<void()> woke) override;
    Uptime uptime() const override;

private Q_SLOTS:
    void prepareForSleep(bool goingToSleep);

private:
    void listen();

    std::function<void()> m_woke;
    bool m_listening = false;
};

}  // namespace zentick::platform
