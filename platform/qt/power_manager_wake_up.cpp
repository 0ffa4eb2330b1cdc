#include "platform/qt/power_manager_wake_up.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <utility>

namespace zentick::platform {

namespace {

const QString kService = QStringLiteral("org.kde.Solid.PowerManagement");
const QString kPath = QStringLiteral("/org/kde/Solid/PowerManagement");
// Where the power manager calls back: this program's own object.
const QString kCallbackPath = QStringLiteral("/AlarmWakeUp");
// A power manager that has not answered by then will not.
constexpr int kPatienceMs = 2000;

QDBusMessage callToService(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    call.setAutoStartService(false);  // a desktop without it starts none
    return call;
}

}  // namespace

PowerManagerWakeUp::PowerManagerWakeUp() = default;

PowerManagerWakeUp::~PowerManagerWakeUp()
{
    // A wake-up left behind would wake the computer for a clock that has
    // ended. The latest request may still be on its way.
    if (m_pending) {
        m_pending->waitForFinished();
        const QDBusPendingReply<uint> reply = *m_pending;
        if (reply.isValid())
            m_cookie = reply.value();
    }
    if (m_cookie == 0)
        return;
    QDBusMessage clearing = callToService(QStringLiteral("clearWakeup"));
    clearing << static_cast<int>(m_cookie);
    QDBusConnection::sessionBus().call(clearing, QDBus::Block, kPatienceMs);
}

void PowerManagerWakeUp::plan(std::optional<std::int64_t> unixTime)
{
    m_wanted = unixTime;
    if (!std::exchange(m_updateQueued, true))
        QTimer::singleShot(0, this, &PowerManagerWakeUp::update);
}

void PowerManagerWakeUp::update()
{
    m_updateQueued = false;
    if (m_cookie != 0)
        clear(std::exchange(m_cookie, 0));
    const quint64 request = ++m_requests;
    m_pending.reset();
    if (!m_wanted)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    watchService();
    if (!m_registered)
        m_registered = bus.registerObject(kCallbackPath, this, QDBusConnection::ExportScriptableSlots);
    QDBusMessage scheduling = callToService(QStringLiteral("scheduleWakeup"));
    scheduling << bus.baseService() << QVariant::fromValue(QDBusObjectPath(kCallbackPath))
               << static_cast<qulonglong>(*m_wanted);
    const QDBusPendingCall call = bus.asyncCall(scheduling, kPatienceMs);
    m_pending = call;
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        scheduled(request, *done);
    });
}

void PowerManagerWakeUp::scheduled(quint64 request, QDBusPendingCall call)
{
    const QDBusPendingReply<uint> reply = call;
    if (request == m_requests)
        m_pending.reset();
    if (reply.isError())
        return;  // no power manager, or none that wakes: the alarm rings on waking
    if (request != m_requests) {
        clear(reply.value());  // planned again while the service was replying
        return;
    }
    m_cookie = reply.value();
}

void PowerManagerWakeUp::wakeupCallback(int cookie)
{
    // Spent: the next plan asks again, even for the same time.
    if (cookie != 0 && static_cast<uint>(cookie) == m_cookie)
        m_cookie = 0;
}

void PowerManagerWakeUp::clear(uint cookie)
{
    QDBusMessage clearing = callToService(QStringLiteral("clearWakeup"));
    clearing << static_cast<int>(cookie);
    QDBusConnection::sessionBus().send(clearing);
}

// A power manager that starts after the clock, or starts again, holds none
// of our wake-ups: the wanted one is asked for again.
void PowerManagerWakeUp::watchService()
{
    if (m_serviceWatch)
        return;
    m_serviceWatch = new QDBusServiceWatcher(kService, QDBusConnection::sessionBus(),
                                             QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatch, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        m_cookie = 0;
        plan(m_wanted);
    });
}

}  // namespace zentick::platform
