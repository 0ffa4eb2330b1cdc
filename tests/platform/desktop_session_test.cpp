// The desktop's services the alarm uses, against stand-ins on buses of the
// test's own: the notice (a notification service on the private session bus
// the test runs on under dbus-run-session), the wake-up (KDE Plasma's power
// manager there), and the hold on sleep (logind on a system bus).

#include "platform/qt/desktop_notifications.h"
#include "platform/qt/logind_sleep_watch.h"
#include "platform/qt/power_manager_wake_up.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/session_environment.h"
#include "support/event_loop.h"
#include "support/logind.h"
#include "support/power_manager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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

TEST(PowerManagerWakeUp, OneWakeUpStandsAndNoneOutlivesTheClock)
{
    test::EventLoop loop;
    const std::int64_t soon = std::time(nullptr) + 3600;
    // Before the power manager starts: asked for again once it does.
    auto wakeUp = std::make_unique<PowerManagerWakeUp>();
    wakeUp->plan(soon);
    settle(loop);
    const test::FakePowerManager manager;
    ASSERT_TRUE(manager.ready()) << "python3-dbusmock did not start";
    const QString me = QDBusConnection::sessionBus().baseService();
    const auto scheduled = [&](std::int64_t time) {
        return "scheduleWakeup " + me.toStdString() + " /AlarmWakeUp " + std::to_string(time);
    };
    // A clearing and the request that follows it are two messages the
    // power manager may take in either order; it holds what they leave.
    const auto sorted = [](std::vector<std::string> calls) {
        std::ranges::sort(calls);
        return calls;
    };
    const auto callsAre = [&](const std::vector<std::string>& expected) {
        return loop.runUntil([&] { return sorted(manager.calls()) == sorted(expected); }, 3s);
    };
    EXPECT_TRUE(callsAre({scheduled(soon)})) << "a power manager that starts after the clock";

    struct Step {
        const char* name;
        std::optional<std::int64_t> plan;
        bool wokeFirst;  // the power manager called back before
        std::vector<std::string> calls;  // those that follow
    } const steps[] = {
        {"another time takes the first one's place", soon + 60, false, {"clearWakeup 7", scheduled(soon + 60)}},
        {"a wake-up spent is asked for anew, nothing cleared", soon + 60, true, {scheduled(soon + 60)}},
        {"none takes it back", std::nullopt, false, {"clearWakeup 9"}},
        {"a time in the past is refused, and nothing is said", std::time(nullptr) - 60, false, {}},
        {"the last one planned", soon + 120, false, {scheduled(soon + 120)}},
    };
    std::vector<std::string> calls = manager.calls();
    int cookie = 7;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.wokeFirst) {
            QProcess callBack;  // the clock answers while the test's loop runs
            callBack.start("gdbus", {"call", "--session", "--dest", me, "--object-path", "/AlarmWakeUp", "--method",
                                     "org.kde.PowerManagement.wakeupCallback", QString::number(cookie)});
            ASSERT_TRUE(loop.runUntil([&] { return callBack.state() == QProcess::NotRunning; }));
            EXPECT_EQ(callBack.exitCode(), 0) << "the callback answered";
        }
        wakeUp->plan(step.plan);
        if (step.plan && *step.plan > std::time(nullptr))
            ++cookie;
        calls.insert(calls.end(), step.calls.begin(), step.calls.end());
        if (step.calls.empty())
            calls.push_back(scheduled(*step.plan));  // the refused call is logged too
        EXPECT_TRUE(callsAre(calls)) << ::testing::PrintToString(manager.calls());
    }
    wakeUp.reset();
    calls.push_back("clearWakeup 10");
    EXPECT_EQ(sorted(manager.calls()), sorted(calls)) << "taken back before the clock has ended";
}

// The system bus's address is read with the first bus a process connects
// to, so the stand-in logind is there before any test runs.
class LogindEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        logind = std::make_unique<test::FakeLogind>();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray::fromStdString(logind->address()));
    }
    void TearDown() override { logind.reset(); }

    std::unique_ptr<test::FakeLogind> logind;
};
auto* const logindEnvironment =
    static_cast<LogindEnvironment*>(::testing::AddGlobalTestEnvironment(new LogindEnvironment));

TEST(LogindSleepWatch, HoldsSleepOffWhileAskedAndNeverElse)
{
    const test::FakeLogind& logind = *logindEnvironment->logind;
    ASSERT_TRUE(logind.ready()) << "python3-dbusmock's logind did not start";
    test::EventLoop loop;
    LogindSleepWatch sleep(QStringLiteral("ぽるたんの世界時計"));
    const auto held = [&](std::size_t count) {
        return loop.runUntil([&] { return logind.inhibitors().size() == count; }, 3s);
    };
    EXPECT_TRUE(held(0)) << "none while idle";
    sleep.keepAwake(true);
    ASSERT_TRUE(held(1));
    const std::string inhibitor = logind.inhibitors().front();
    EXPECT_NE(inhibitor.find("'sleep', 'ぽるたんの世界時計', 'アラームが鳴っています', 'block'"), std::string::npos)
        << inhibitor;
    sleep.keepAwake(true);
    settle(loop);
    EXPECT_TRUE(held(1)) << "one, however often asked";
    sleep.keepAwake(false);
    EXPECT_TRUE(held(0));
    // Let go before logind has answered: the hold it gives is closed at once.
    sleep.keepAwake(true);
    sleep.keepAwake(false);
    settle(loop);
    EXPECT_TRUE(held(0));
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
