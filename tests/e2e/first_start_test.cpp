// The real zentick on a real X display: the first start in an empty folder,
// the notice answered, the clock closed through its close control.

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class XDisplay {
public:
    XDisplay() : m_display(XOpenDisplay(nullptr))
    {
        // Windows come and go while we look at them; a vanished one is no failure.
        XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    }
    ~XDisplay()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool ok() const { return m_display != nullptr; }

    // A shown top-level window with this title, waiting for it a while.
    std::optional<Window> waitForWindow(const std::string& title)
    {
        for (int i = 0; i < 200; ++i) {
            if (auto found = findWindow(title))
                return found;
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

    // What the close control in a window's frame sends.
    void requestClose(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    std::optional<Window> findWindow(const std::string& title)
    {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
            return std::nullopt;
        std::optional<Window> found;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(m_display, children[i], &attributes) && attributes.map_state == IsViewable
                && titleOf(children[i]) == title)
                found = children[i];
        }
        if (children)
            XFree(children);
        return found;
    }

    std::string titleOf(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long rest = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(m_display, "UTF8_STRING", False), &type, &format, &items, &rest, &data)
                == Success
            && data) {
            title.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
        return title;
    }

    ::Display* m_display;
};

std::optional<int> waitForExit(pid_t child)
{
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(50ms);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return std::nullopt;
}

TEST(RealProgram, FirstStartCreatesTheSettingsAndClosingSavesThem)
{
    XDisplay display;
    ASSERT_TRUE(display.ok()) << "no X display: run this under xvfb-run";
    zentick::test::TempDir folder;
    const fs::path program = folder.path() / "zentick";
    fs::copy_file(ZENTICK_EXE, program);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    const auto notice = display.waitForWindow("Zentick");
    ASSERT_TRUE(notice.has_value()) << "no notice about creating the settings file";
    EXPECT_EQ(zentick::test::readBytes(folder.path() / "Zentick.ini"), "") << "created only after the notice";
    display.requestClose(*notice);

    const auto clock = display.waitForWindow("ぽるたんの世界時計");
    ASSERT_TRUE(clock.has_value()) << "the main window never appeared";
    display.requestClose(*clock);

    EXPECT_EQ(waitForExit(child), 0);
    EXPECT_EQ(zentick::test::readBytes(folder.path() / "Zentick.ini"), "5,0,#07:00:00#,2\r\n");
    EXPECT_FALSE(fs::exists(folder.path() / "Zentick.ini.tmp"));
}

}  // namespace
