#pragma once

// Finding and closing top-level windows on an X display, as a window
// manager would, for tests and benchmarks of the real program.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace zentick::test {

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

    // A shown top-level window with this title, waiting for it a while: a
    // loaded machine may take seconds to start a program under the sanitizers.
    std::optional<Window> waitForWindow(const std::string& title, int pollMilliseconds = 50, int seconds = 30)
    {
        for (int i = 0; i < seconds * 1000 / pollMilliseconds; ++i) {
            if (auto found = findWindow(title))
                return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMilliseconds));
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

    // A left click at a point given as a fraction of the window's size, as
    // the user's mouse would make it.
    void click(Window window, double x, double y)
    {
        if (!m_display)
            return;
        XWindowAttributes attributes{};
        Window child = 0;
        int rootX = 0;
        int rootY = 0;
        if (!XGetWindowAttributes(m_display, window, &attributes)
            || !XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), static_cast<int>(attributes.width * x),
                                      static_cast<int>(attributes.height * y), &rootX, &rootY, &child))
            return;
        XTestFakeMotionEvent(m_display, -1, rootX, rootY, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XFlush(m_display);
    }

    bool isShown(const std::string& title) { return findWindow(title).has_value(); }

    std::optional<Window> findWindow(const std::string& title)
    {
        if (!m_display)
            return std::nullopt;
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

private:
    ::Display* m_display;
};

}  // namespace zentick::test
