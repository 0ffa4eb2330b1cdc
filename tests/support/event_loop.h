#pragma once

// The event loop of a test or benchmark that drives Qt objects without
// windows, and how long it was ever kept from its events.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>

namespace zentick::test {

// The application object, made at first use.
inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "zentick-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or `limit` passes, noting the
// longest time the loop was kept from its events: a 1 ms timer that fires
// late by that much.
class EventLoop {
public:
    EventLoop() { application(); }

    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        QEventLoop loop;
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QElapsedTimer since;
        bool reached = false;
        QObject::connect(&beat, &QTimer::timeout, &loop, [&] {
            m_longest = std::max(m_longest, since.restart() - 1);
            if (done()) {
                reached = true;
                loop.quit();
            }
        });
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        since.start();
        beat.start();
        loop.exec();
        return reached;
    }

    // A step taken on the loop's thread counts as a stall too.
    void step(const std::function<void()>& call)
    {
        QElapsedTimer took;
        took.start();
        call();
        m_longest = std::max(m_longest, took.elapsed());
    }

    qint64 longestStallMs() const { return m_longest; }

private:
    qint64 m_longest = 0;
};

}  // namespace zentick::test
