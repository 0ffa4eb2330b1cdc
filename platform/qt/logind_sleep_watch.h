#pragma once

#include "platform/sleep_watch.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace zentick::platform {

// The computer's sleep as systemd-logind announces it on the system bus
// (PrepareForSleep), the system's clocks that tell time asleep from time
// awake, and logind's sleep inhibitor to hold it off. Without logind, or a
// system bus, no word comes: the clock then sees the sleep at its next
// tick, and nothing holds it off.
class LogindSleepWatch final : public QObject, public SleepWatch {
    Q_OBJECT

public:
    // `who` names the program in the system's list of what holds sleep off.
    explicit LogindSleepWatch(QString who);

    void onWake(std::function<void()> woke) override;
    Uptime uptime() const override;
    void keepAwake(bool awake) override;

private Q_SLOTS:
    void prepareForSleep(bool goingToSleep);

private:
    void listen();

    QString m_who;
    std::function<void()> m_woke;
    bool m_listening = false;
    bool m_awakeWanted = false;
    bool m_inhibiting = false;         // an inhibitor asked for and not yet given
    QDBusUnixFileDescriptor m_inhibitor;  // sleep is held off while it is open
};

}  // namespace zentick::platform
