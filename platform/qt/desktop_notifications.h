#pragma once

#include "platform/alarm_notice.h"

#include <QObject>
#include <QString>

namespace zentick::platform {

// The alarm's notice through the freedesktop Notifications service on the
// session bus. Without a session bus or the service, nothing is shown and
// the alarm is what it always was. Nothing here waits for the bus.
class DesktopNotifications final : public QObject, public AlarmNotice {
    Q_OBJECT

public:
    // `appName` and `icon` (an icon theme name) say whose notice it is.
    DesktopNotifications(QString appName, QString icon);
    ~DesktopNotifications() override;

    void show(std::string_view text) override;
    void withdraw() override;

private:
    void close(uint id);

    QString m_appName;
    QString m_icon;
    uint m_id = 0;           // the notice the service shows, 0 for none
    bool m_pending = false;  // a notice asked for, its number not yet known
    bool m_wanted = false;   // the user has not answered yet
};

}  // namespace zentick::platform
