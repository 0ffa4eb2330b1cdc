#pragma once

#include "platform/alarm_notice.h"
#include "platform/qt/window_activation.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>


namespace zentick::platform {

// The alarm's notice through the freedesktop Notifications service on the
// session bus. Without a session bus or the service, nothing is shown and
// the alarm is what it always was. Nothing here waits for the bus.
class DesktopNotifications final : public QObject, public AlarmNotice {
    Q_OBJECT

public:
    // `appName` heads the notice; the application's icon and desktop entry
    // say whose it is.
    explicit DesktopNotifications(QString appName);
    ~DesktopNotifications() override;

    // The window the alarm concerns: it asks for attention with each
    // notice, and comes forward when the notice is clicked.
    void setWindow(QWidget* window);

    void show(std::string_view text) override;
    void withdraw() override;

Q_SIGNALS:
    // The user clicked the notice, to go to the clock. `activationToken`,
    // when the service sent one, lets a window take the focus on Wayland.
    void clicked(const QString& activationToken);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void activationToken(uint id, const QString& token);

private:
    void close(uint id);
    void listen();

    QString m_appName;
    uint m_id = 0;            // the notice the service shows, 0 for none
    quint64 m_requests = 0;   // notices asked for; only the latest may stand
    bool m_wanted = false;    // the user has not answered yet
    bool m_listening = false;
    QPointer<QWidget> m_window;
    WindowActivation m_activation;
    QString m_token;          // the last activation token the service sent for the notice
};

}  // namespace zentick::platform
