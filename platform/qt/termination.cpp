#include "platform/qt/termination.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zentick::platform {

#ifndef _WIN32
namespace {

// A signal handler can reach nothing but a global: the write end of the pipe
// that carries the request to the event loop.
int g_requestPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void requestTermination(int)
{
    const char request = 1;
    [[maybe_unused]] const auto written = ::write(g_requestPipe[1], &request, 1);
}

}  // namespace

TerminationRequests::TerminationRequests(std::function<void()> onRequest)
    : m_onRequest(std::move(onRequest))
{
    if (::pipe(g_requestPipe) != 0)
        return;
    for (const int end : g_requestPipe) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(g_requestPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char requests[16];
        while (::read(g_requestPipe[0], requests, sizeof requests) > 0) {
        }
        m_onRequest();
    });
    struct sigaction action {};
    action.sa_handler = requestTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

TerminationRequests::~TerminationRequests()
{
    if (!m_notifier)
        return;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    ::close(g_requestPipe[0]);
    ::close(g_requestPipe[1]);
    g_requestPipe[0] = g_requestPipe[1] = -1;
}
#else
TerminationRequests::TerminationRequests(std::function<void()> onRequest)
    : m_onRequest(std::move(onRequest))
{
}

TerminationRequests::~TerminationRequests() = default;
#endif

}  // namespace zentick::platform
