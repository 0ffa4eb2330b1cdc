#pragma once

// A stand-in for systemd-logind on a system bus of the test's own:
// python-dbusmock's logind template, whose PrepareForSleep the test sends
// as the real one does around a suspend.

#include "support/sound_server.h"
#include "support/temp_dir.h"

#include <string>

namespace zentick::test {

class FakeLogind {
public:
    FakeLogind()
        : m_bus({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address()}, {})
    {
        for (int i = 0; i < 200 && !std::filesystem::exists(m_dir.path() / "bus"); ++i)
            std::this_thread::sleep_for(10ms);
        m_logind = std::make_unique<Child>(
            // Its log of calls and signals would go to the test's output.
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind",
                                     "--logfile", (m_dir.path() / "calls.log").string()},
            std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + address()});
        for (int i = 0; i < 200 && !ready(); ++i)
            std::this_thread::sleep_for(25ms);
    }

    std::string address() const { return "unix:path=" + (m_dir.path() / "bus").string(); }
    // What a program needs to find this logind.
    std::string environment() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + address(); }

    bool ready() const
    {
        return output(gdbus("--dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                            "--method org.freedesktop.DBus.NameHasOwner org.freedesktop.login1"))
                   .find("true") != std::string::npos;
    }

    // Sent before the computer sleeps (true) and after it has woken (false).
    void prepareForSleep(bool goingToSleep) const
    {
        output(gdbus(std::string("--dest org.freedesktop.login1 --object-path /org/freedesktop/login1 "
                                 "--method org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager "
                                 "PrepareForSleep b '[<")
                     + (goingToSleep ? "true" : "false") + ">]'"));
    }

    // What holds sleep off, as logind lists it: one line per inhibitor.
    std::vector<std::string> inhibitors() const
    {
        std::vector<std::string> listed;
        const std::string text = output(gdbus("--dest org.freedesktop.login1 --object-path /org/freedesktop/login1 "
                                              "--method org.freedesktop.login1.Manager.ListInhibitors"));
        for (std::size_t at = text.find("('"); at != std::string::npos; at = text.find("('", at + 1))
            listed.push_back(text.substr(at, text.find(')', at) + 1 - at));
        return listed;
    }

private:
    // In a UTF-8 locale whatever the user's: gdbus escapes other text in the C locale.
    std::string gdbus(const std::string& call) const
    {
        return "LC_ALL=C.UTF-8 gdbus call --address " + address() + " " + call + " 2>/dev/null";
    }

    TempDir m_dir;
    Child m_bus;
    std::unique_ptr<Child> m_logind;
};

}  // namespace zentick::test
