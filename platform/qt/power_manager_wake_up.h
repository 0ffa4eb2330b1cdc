#pragma once

#include "platform/alarm_wake_up.h"

#include <QDBusPendingCall>
#include <QObject>

#include <optional>

class QDBusServiceWatcher;

namespace zentick::platform {

// The alarm's wake-up through KDE Plasma's power manager on the session bus
// (org.kde.Solid.PowerManagement), which wakes the computer at a time an
// application asks for and then calls it back. Where the service is missing
// or offers no wake-ups, nothing is said. Nothing here waits for the bus
// but the program's end, which takes its wake-up back.
class PowerManagerWakeUp final : public QObject, public AlarmWakeUp {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PowerManagement")

public:
    PowerManagerWakeUp();
    ~PowerManagerWakeUp() override;

    void plan(std::optional<std::int64_t> unixTime) override;

public Q_SLOTS:
    // The power manager's word that it woke the computer as asked.
    Q_SCRIPTABLE void wakeupCallback(int cookie);

private:
    // Sends what the plans since the last run asked for, once per turn of
    // the event loop, and the first time once the loop runs.
    void update();
    void scheduled(quint64 request, QDBusPendingCall call);
    void clear(uint cookie);
    void watchService();

    std::optional<std::int64_t> m_wanted;
    bool m_updateQueued = false;
    uint m_cookie = 0;           // the wake-up the power manager holds for us, 0 for none
    quint64 m_requests = 0;      // wake-ups asked for; only the latest may stand
    std::optional<QDBusPendingCall> m_pending;  // the latest request, until answered
    bool m_registered = false;   // the callback's object is on the bus
    QDBusServiceWatcher* m_serviceWatch = nullptr;
};

}  // namespace zentick::platform
