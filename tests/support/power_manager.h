#pragma once

// A stand-in for KDE Plasma's power manager on the test's session bus:
// python-dbusmock's mock object given scheduleWakeup and clearWakeup, which
// numbers its wake-ups from 7 and refuses a time in the past as the real one
// does (unless the program's clock is a faked one). Its log says what the
// clock asked.

#include "support/sound_server.h"
#include "support/temp_dir.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zentick::test {

class FakePowerManager {
public:
    // On the session bus the test runs on.
    explicit FakePowerManager(bool refusesThePast = true)
    {
        m_mock = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--session", kName, kPath, kName,
                                     "--logfile", log().string()},
            std::vector<std::string>{});
        for (int i = 0; i < 200 && !ready(); ++i)
            std::this_thread::sleep_for(25ms);
        const std::string refusal = refusesThePast ? "if args[2] <= time.time(): raise dbus.exceptions.DBusException("
                                                     "\"in the past\", name=\"org.freedesktop.DBus.Error.InvalidArgs\")\n"
                                                   : "";
        mock("AddMethod", std::string("'") + kName + "' scheduleWakeup sot u '" + refusal
                              + "self.cookie = getattr(self, \"cookie\", 6) + 1\nret = dbus.UInt32(self.cookie)'");
        mock("AddMethod", std::string("'") + kName + "' clearWakeup i '' ''");
    }

    bool ready() const
    {
        return output(gdbus("--dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                            "--method org.freedesktop.DBus.NameHasOwner " + std::string(kName)))
                   .find("true") != std::string::npos;
    }

    // The calls the clock made, each as its log has it: the method's name
    // and its arguments, strings unquoted, one space between.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> made;
        std::ifstream in(log());
        for (std::string line; std::getline(in, line);) {
            const auto name = line.find(' ');  // after the time stamp
            std::string call = line.substr(name + 1);
            const bool refused = call.find(" raised: ") != std::string::npos;  // logged after the call
            if (refused || (call.rfind("scheduleWakeup", 0) != 0 && call.rfind("clearWakeup", 0) != 0))
                continue;
            std::erase(call, '"');
            made.push_back(call);
        }
        return made;
    }

private:
    static constexpr const char* kName = "org.kde.Solid.PowerManagement";
    static constexpr const char* kPath = "/org/kde/Solid/PowerManagement";

    std::filesystem::path log() const { return m_dir.path() / "calls.log"; }
    static std::string gdbus(const std::string& call) { return "gdbus call --session " + call + " 2>/dev/null"; }
    void mock(const std::string& method, const std::string& arguments) const
    {
        output(gdbus(std::string("--dest ") + kName + " --object-path " + kPath + " --method org.freedesktop.DBus.Mock."
                     + method + " " + arguments));
    }

    TempDir m_dir;
    std::unique_ptr<Child> m_mock;
};

}  // namespace zentick::test
