#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace zentick::platform {

// The system's request to end the program (SIGTERM at shut-down or logout,
// SIGHUP, Ctrl+C in a terminal), turned into a call on the user-interface
// thread, so the clock closes as if its window were closed and keeps what
// the user set. Where there are no such signals it does nothing.
class TerminationRequests final : public QObject {
public:
    explicit TerminationRequests(std::function<void()> onRequest);
    ~TerminationRequests() override;
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

private:
    std::function<void()> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace zentick::platform
