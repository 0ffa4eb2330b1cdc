#include "platform/qt/desktop_notifications.h"

#include "platform/qt/qt_platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace zentick::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage callToService(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

DesktopNotifications::DesktopNotifications(QString appName) : m_appName(std::move(appName)) {}

DesktopNotifications::~DesktopNotifications()
{
    // A notice of a clock that has ended would point at nothing.
    withdraw();
}

void DesktopNotifications::setWindow(QWidget* window)
{
    m_window = window;
}

void DesktopNotifications::show(std::string_view text)
{
    if (m_window)
        m_activation.askForAttention(*m_window);  // seen on a desktop without the service too
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_wanted = true;
    listen();
    QDBusMessage notify = callToService(QStringLiteral("Notify"));
    const QVariantMap hints{
        // Shown until answered, and through "do not disturb": it is an alarm.
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))},
        {QStringLiteral("category"), QStringLiteral("alarm")},
        {QStringLiteral("desktop-entry"), appId()},
        // The clock sounds the alarm itself.
        {QStringLiteral("suppress-sound"), true},
    };
    // The application's name heads the notice; the alarm's words are its
    // summary. A click on it goes to the clock: its default action.
    notify << m_appName << m_id << appId() << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
           << QString() << QStringList{kDefaultAction, QStringLiteral("時計を表示")} << hints << 0;  // never expires
    const quint64 request = ++m_requests;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, request](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<uint> reply = *call;
        if (reply.isError())
            return;  // no notification service: the window's own request has to do
        const uint id = reply.value();
        // Answered, or asked again, while the service was still replying.
        if (!m_wanted || (request != m_requests && id != m_id)) {
            close(id);
            return;
        }
        m_id = id;
    });
}

// The service's signals, for the notices of any program: those of this
// one's notice are told by its number.
void DesktopNotifications::listen()
{
    if (std::exchange(m_listening, true))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("ActivationToken"), this,
                SLOT(activationToken(uint, QString)));
}

// Sent before the action it comes with.
void DesktopNotifications::activationToken(uint id, const QString& token)
{
    if (id != 0 && id == m_id)
        m_token = token;
}

void DesktopNotifications::actionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_id || action != kDefaultAction)
        return;
    const QString token = std::exchange(m_token, {});
    if (m_window)
        m_activation.bringForward(*m_window, token);
    Q_EMIT clicked(token);
}

void DesktopNotifications::withdraw()
{
    m_wanted = false;
    if (m_id != 0)
        close(std::exchange(m_id, 0));
}

void DesktopNotifications::close(uint id)
{
    QDBusMessage closing = callToService(QStringLiteral("CloseNotification"));
    closing << id;
    QDBusConnection::sessionBus().send(closing);
}

}  // namespace zentick::platform
