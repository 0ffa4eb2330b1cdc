// Starts a program on the current X display and reports, as one line, the
// time until the first frame is drawn into its window with the given title,
// the CPU the program had used by then, and its resident memory 5 s later:
// "<milliseconds> <CPU milliseconds> <KiB>".

#include "support/x_display.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
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

// The CPU time of all the process's threads, to the nanosecond the
// scheduler counts (the tick-based counters are 10 ms coarse).
double cpuMilliseconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    if (DIR* folder = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
            double nanoseconds = 0;
            if (stat >> nanoseconds)
                total += nanoseconds / 1e6;
        }
        closedir(folder);
    }
    return total;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    int damageEvent = 0;
    int damageError = 0;
    if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "startup_probe: no X display with the DAMAGE extension\n");
        return 1;
    }
    zentick::test::XDisplay names;  // sets an error handler too: windows come and go
    // Every new top-level window is watched for drawing from its creation:
    // a program cannot draw before the server has told us it exists.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl(argv[1], argv[1], static_cast<char*>(nullptr));
        _exit(127);
    }
    std::set<Window> watched;
    double frameMs = -1;
    double cpuMs = -1;
    const auto limit = start + std::chrono::seconds(30);
    while (frameMs < 0 && std::chrono::steady_clock::now() < limit) {
        if (!XPending(display)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == CreateNotify) {
            XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
            watched.insert(event.xcreatewindow.window);
        } else if (event.type == damageEvent + XDamageNotify) {
            const auto* damage = reinterpret_cast<XDamageNotifyEvent*>(&event);
            if (watched.count(damage->drawable) && names.titleOf(damage->drawable) == argv[2]) {
                cpuMs = cpuMilliseconds(child);
                frameMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            }
        }
    }
    // Memory once start-up is over; ZENTICK_PROBE_SETTLE_S shortens the wait.
    const char* settle = std::getenv("ZENTICK_PROBE_SETTLE_S");
    std::this_thread::sleep_for(std::chrono::seconds(settle ? std::atoi(settle) : 5));
    const long rss = residentKiB(child);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (frameMs < 0) {
        std::fprintf(stderr, "startup_probe: nothing drawn in a window titled %s\n", argv[2]);
        return 1;
    }
    std::printf("%.1f %.1f %ld\n", frameMs, cpuMs, rss);
    return 0;
}
