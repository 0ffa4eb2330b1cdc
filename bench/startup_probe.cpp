// Starts a program on the current X display and reports, as one line, the
// time until its window with the given title is mapped and its resident
// memory 5 s later: "<milliseconds> <KiB>".

#include "support/x_display.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM TITLE\n");
        return 2;
    }
    zentick::test::XDisplay display;
    if (!display.ok()) {
        std::fprintf(stderr, "startup_probe: no X display\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl(argv[1], argv[1], static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto window = display.waitForWindow(argv[2], 1, 30);
    const auto mapped = std::chrono::steady_clock::now();
    // Memory once start-up is over; ZENTICK_PROBE_SETTLE_S shortens the wait.
    const char* settle = std::getenv("ZENTICK_PROBE_SETTLE_S");
    std::this_thread::sleep_for(std::chrono::seconds(settle ? std::atoi(settle) : 5));
    const long rss = residentKiB(child);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    if (!window) {
        std::fprintf(stderr, "startup_probe: no window titled %s\n", argv[2]);
        return 1;
    }
    std::printf("%.1f %ld\n", std::chrono::duration<double, std::milli>(mapped - start).count(), rss);
    return 0;
}
