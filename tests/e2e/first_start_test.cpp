// The real zentick on a real X display: the first start, the notice
// answered, the clock closed through its close control; as a copy in a
// folder of its own, which keeps its settings beside itself, and as
// installed into a prefix, which keeps them in the user's folder and
// writes nothing under the prefix, whoever runs it.

#include <gtest/gtest.h>

#include "support/temp_dir.h"
// Xlib's macros (None, Bool) clash with GoogleTest's names: it comes last.
#include "support/x_display.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Its exit, waited for up to 30 s: a loaded machine is slow, a hang is not.
std::optional<int> waitForExit(pid_t child)
{
    for (int i = 0; i < 600; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(50ms);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return std::nullopt;
}

std::set<std::string> filesUnder(const fs::path& folder)
{
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        found.insert(fs::relative(entry.path(), folder).string());
    return found;
}

void setWritable(const fs::path& folder, bool writable)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_directory())
            fs::permissions(entry.path(), fs::perms::owner_write, writable ? fs::perm_options::add : fs::perm_options::remove);
    }
    fs::permissions(folder, fs::perms::owner_write, writable ? fs::perm_options::add : fs::perm_options::remove);
}

TEST(RealProgram, FirstStartCreatesTheSettingsWhereTheProgramKeepsThemAndClosingSavesThem)
{
    zentick::test::XDisplay display;
    ASSERT_TRUE(display.ok()) << "no X display: run this under xvfb-run";
    const std::string entry = std::string("share/applications/") + ZENTICK_APP_ID + ".desktop";
    struct Case {
        const char* name;
        bool installed;
        bool configHomeSet;  // XDG_CONFIG_HOME; else ~/.config
    } const cases[] = {
        {"a copy in a folder of its own", false, true},
        {"installed into a prefix it may not write", true, true},
        {"installed, with no XDG_CONFIG_HOME", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const zentick::test::TempDir work;
        const fs::path prefix = work.path() / "usr";
        const fs::path programFolder = c.installed ? prefix / "bin" : work.path() / "zentick";
        fs::create_directories(programFolder);
        fs::copy_file(ZENTICK_EXE, programFolder / "zentick");
        if (c.installed) {
            fs::create_directories(prefix / "share/applications");
            fs::copy_file(ZENTICK_DESKTOP_ENTRY, prefix / entry);
            setWritable(prefix, false);  // as a system's prefix is to its users; root writes it all the same
        }
        const fs::path home = work.path() / "home";
        const fs::path configHome = c.configHomeSet ? work.path() / "config" : home / ".config";
        fs::create_directories(home);
        const fs::path folder = c.installed ? configHome / "zentick" : programFolder;

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("HOME", home.c_str(), 1);
            if (c.configHomeSet)
                setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            else
                unsetenv("XDG_CONFIG_HOME");
            const std::string program = (programFolder / "zentick").string();
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }

        const auto notice = display.waitForWindow("Zentick");
        ASSERT_TRUE(notice.has_value()) << "no notice about creating the settings file";
        EXPECT_FALSE(fs::exists(folder / "Zentick.ini")) << "created only after the notice";
        display.requestClose(*notice);

        const auto clock = display.waitForWindow("ぽるたんの世界時計");
        ASSERT_TRUE(clock.has_value()) << "the main window never appeared";
        display.requestClose(*clock);

        EXPECT_EQ(waitForExit(child), 0);
        EXPECT_EQ(zentick::test::readBytes(folder / "Zentick.ini"), "5,0,#07:00:00#,2\r\n");
        EXPECT_FALSE(fs::exists(folder / "Zentick.ini.tmp"));
        if (c.installed) {
            EXPECT_EQ(filesUnder(prefix), (std::set<std::string>{"bin", "bin/zentick", "share", "share/applications",
                                                                 entry}))
                << "something was written under the prefix";
            EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all)
                << "the settings' folder is open to others";
            setWritable(prefix, true);
        }
    }
}

}  // namespace
