// The alarm's notice against a stand-in notification service on a private
// session bus (the test runs under dbus-run-session).

#include "platform/qt/desktop_session.h"
#include "support/event_loop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <utility>

namespace zentick::platform {
namespace {

using namespace std::chrono_literals;

// Lets the bus deliver what is on its way.
void settle(test::EventLoop& loop)
{
    loop.runUntil([] { return false; }, 200ms);
}

struct Notice {
    QString app, icon, summary, body;
    uint replaces = 0;
    QVariantMap hints;
    int expires = -1;
};

// Numbers its notices from 7; answers Notify at once or when told to.
class StandInService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<Notice> shown;
    QList<QStringList> actions;
    QList<uint> closed;
    bool answerLater = false;
    QList<QDBusMessage> unanswered;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& offered, const QVariantMap& hints, int expires)
    {
        shown.append({app, icon, summary, body, replaces, hints, expires});
        actions.append(offered);
        const uint id = 6 + static_cast<uint>(shown.size());
        if (answerLater) {
            setDelayedReply(true);
            unanswered.append(message().createReply(id));
        }
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }
};

class DesktopNotificationsTest : public ::testing::Test {
protected:
    test::EventLoop loop;  // first: the application object the bus needs
    QDBusConnection serviceBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stand-in");
    StandInService service;

    void SetUp() override
    {
        if (!serviceBus.isConnected())
            GTEST_SKIP() << "no session bus";
        ASSERT_TRUE(serviceBus.registerObject("/org/freedesktop/Notifications", &service,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serviceBus.registerService("org.freedesktop.Notifications"));
    }
    void TearDown() override
    {
        serviceBus.unregisterService("org.freedesktop.Notifications");
        serviceBus.unregisterObject("/org/freedesktop/Notifications");
    }
};

TEST_F(DesktopNotificationsTest, TheNoticeSaysTheAlarmAndGoesWhenAnswered)
{
    struct Case {
        const char* name;
        bool answeredBeforeTheServiceReplies;
        bool soundsAgainBeforeItReplies;  // and the next alarm's notice stands until the clock ends
    } const cases[] = {
        {"answered after the service replied", false, false},
        {"answered while it was replying", true, false},
        {"answered, and the alarm sounding again, while it was replying", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.shown.clear();
        service.closed.clear();
        service.answerLater = c.answeredBeforeTheServiceReplies;
        {
            DesktopNotifications notice(QStringLiteral("ぽるたんの世界時計"));
            notice.show("アラームの時刻 7:00 になりました。");
            ASSERT_TRUE(loop.runUntil([&] { return !service.shown.isEmpty(); }));
            const Notice& shown = service.shown.front();
            EXPECT_EQ(shown.app, QStringLiteral("ぽるたんの世界時計"));
            EXPECT_EQ(shown.icon, appId()) << "the installed icon's name";
            EXPECT_EQ(shown.hints.value("desktop-entry").toString(), appId());
            EXPECT_EQ(shown.summary, QStringLiteral("アラームの時刻 7:00 になりました。"));
            EXPECT_TRUE(shown.body.isEmpty());
            EXPECT_EQ(shown.hints.value("urgency").toInt(), 2) << "critical: it stays until answered";
            EXPECT_EQ(shown.expires, 0);

            if (c.answeredBeforeTheServiceReplies) {
                notice.withdraw();
                if (c.soundsAgainBeforeItReplies) {
                    notice.show("アラームの時刻 7:00 になりました。");
                    ASSERT_TRUE(loop.runUntil([&] { return service.unanswered.size() == 2; }));
                }
                for (const QDBusMessage& reply : std::exchange(service.unanswered, {}))
                    serviceBus.send(reply);
            } else {
                settle(loop);  // the reply arrives
                notice.withdraw();
            }
            EXPECT_TRUE(loop.runUntil([&] { return !service.closed.isEmpty(); }));
            EXPECT_EQ(service.closed, QList<uint>{7});
        }
        const QList<uint> closedInTheEnd = c.soundsAgainBeforeItReplies ? QList<uint>{7, 8} : QList<uint>{7};
        EXPECT_TRUE(loop.runUntil([&] { return service.closed.size() >= closedInTheEnd.size(); }));
        settle(loop);
        EXPECT_EQ(service.closed, closedInTheEnd) << "the clock's end takes away what stands, and nothing more";
    }
}

// What the desktop sends when the user clicks a notice: the token that lets
// a window take the focus on Wayland (when it has one), then the action.
TEST_F(DesktopNotificationsTest, AClickOnTheNoticeGoesToTheClockWithTheDesktopsToken)
{
    const auto send = [&](const char* signal, uint id, const QString& text) {
        QDBusMessage message = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                          "org.freedesktop.Notifications", signal);
        message << id << text;
        serviceBus.send(message);
    };
    struct Case {
        const char* name;
        const char* token;  // sent first, unless null
        uint clickedId;
        const char* action;
        std::optional<QString> goes;  // the token the clock is given
    } const cases[] = {
        {"a click with a token", "kwin-1234", 7, "default", QStringLiteral("kwin-1234")},
        {"a click without one", nullptr, 7, "default", QString()},
        {"another program's notice", "kwin-1234", 99, "default", std::nullopt},
        {"another action", nullptr, 7, "snooze", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.shown.clear();
        service.actions.clear();
        DesktopNotifications notice(QStringLiteral("ぽるたんの世界時計"));
        std::optional<QString> went;
        QObject::connect(&notice, &DesktopNotifications::clicked, [&](const QString& token) { went = token; });
        notice.show("アラームの時刻 7:00 になりました。");
        ASSERT_TRUE(loop.runUntil([&] { return !service.shown.isEmpty(); }));
        EXPECT_TRUE(service.actions.front().startsWith("default")) << "no default action to click";
        settle(loop);  // its number known
        if (c.token)
            send("ActivationToken", c.clickedId, QString::fromUtf8(c.token));
        send("ActionInvoked", c.clickedId, QString::fromUtf8(c.action));
        settle(loop);
        EXPECT_EQ(went, c.goes);
    }
}

TEST_F(DesktopNotificationsTest, WithoutTheServiceNothingIsShownAndNothingWaits)
{
    TearDown();  // the bus stays, the service goes
    DesktopNotifications notice(QStringLiteral("ぽるたんの世界時計"));
    notice.show("アラームの時刻 7:00 になりました。");
    notice.withdraw();
    settle(loop);
    EXPECT_TRUE(service.shown.isEmpty());
    EXPECT_TRUE(service.closed.isEmpty());
}

TEST(WindowSystems, OnGnomesWaylandX11ThroughXWaylandUnlessTheUserChose)
{
    struct Case {
        const char* name;
        SessionEnvironment session;
        const char* expected;
    } const cases[] = {
        {"GNOME on Wayland", {"", "wayland", "GNOME", "wayland-0", ":0"}, "xcb;wayland"},
        {"Ubuntu's GNOME, known by the Wayland socket alone", {"", "", "ubuntu:GNOME", "wayland-0", ":0"},
         "xcb;wayland"},
        {"GNOME Classic", {"", "wayland", "GNOME-Classic:gnome", "wayland-0", ":1"}, "xcb;wayland"},
        {"the user's choice", {"wayland", "wayland", "GNOME", "wayland-0", ":0"}, ""},
        {"no XWayland", {"", "wayland", "GNOME", "wayland-0", ""}, ""},
        {"GNOME on X11", {"", "x11", "GNOME", "", ":0"}, ""},
        {"KDE on Wayland, which draws title bars", {"", "wayland", "KDE", "wayland-0", ":0"}, ""},
        {"a desktop named like GNOME", {"", "wayland", "GNOMEish", "wayland-0", ":0"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(preferredWindowSystems(c.session), c.expected) << c.name;
}

}  // namespace
}  // namespace zentick::platform

#include "desktop_session_test.moc"
