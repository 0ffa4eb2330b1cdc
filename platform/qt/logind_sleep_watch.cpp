#include "platform/qt/logind_sleep_watch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <utility>

namespace zentick::platform {

namespace {

using std::chrono::milliseconds;

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

#if defined(__linux__) || defined(__APPLE__)
milliseconds reading(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return std::chrono::duration_cast<milliseconds>(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}
#endif

}  // namespace

LogindSleepWatch::LogindSleepWatch(QString who) : m_who(std::move(who)) {}

void LogindSleepWatch::onWake(std::function<void()> woke)
{
    m_woke = std::move(woke);
    // Once the event loop runs: the first frame need not wait for the bus.
    if (m_woke && !std::exchange(m_listening, true))
        QTimer::singleShot(0, this, &LogindSleepWatch::listen);
}

void LogindSleepWatch::listen()
{
    QDBusConnection::systemBus().connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                                         SLOT(prepareForSleep(bool)));
}

void LogindSleepWatch::prepareForSleep(bool goingToSleep)
{
    // Going to sleep needs nothing: a tune playing then is found again, or
    // its lost output told, after waking, as after a sound server's restart.
    if (!goingToSleep && m_woke)
        m_woke();
}

void LogindSleepWatch::keepAwake(bool awake)
{
    m_awakeWanted = awake;
    if (!awake) {
        m_inhibitor = {};  // closing the descriptor releases the hold
        return;
    }
    if (m_inhibitor.isValid() || std::exchange(m_inhibiting, true))
        return;
    // A block, not a delay: the computer stays awake until the alarm is
    // answered, whatever asks it to sleep. The user's own session may take
    // one without a password.
    QDBusMessage inhibit = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << m_who << QStringLiteral("アラームが鳴っています") << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        m_inhibiting = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        // Without logind or its permission the alarm sounds all the same;
        // one no longer wanted is closed as it goes.
        if (!reply.isError() && m_awakeWanted)
            m_inhibitor = reply.value();
    });
}

Uptime LogindSleepWatch::uptime() const
{
#if defined(__linux__)
    // The boot clock runs on while the computer sleeps; the monotonic one stops.
    const milliseconds awake = reading(CLOCK_MONOTONIC);
    return {awake, reading(CLOCK_BOOTTIME) - awake};
#elif defined(__APPLE__)
    const milliseconds awake = reading(CLOCK_UPTIME_RAW);
    return {awake, reading(CLOCK_MONOTONIC) - awake};
#else
    // No clock here tells sleep apart: a sleep reads as time awake.
    return {std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()), {}};
#endif
}

}  // namespace zentick::platform
