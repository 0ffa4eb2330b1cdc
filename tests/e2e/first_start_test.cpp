// The real zentick on a real X display: the first start in an empty folder,
// the notice answered, the clock closed through its close control.

#include <gtest/gtest.h>

#include "support/temp_dir.h"
// Xlib's macros (None, Bool) clash with GoogleTest's names: it comes last.
#include "support/x_display.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
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

TEST(RealProgram, FirstStartCreatesTheSettingsAndClosingSavesThem)
{
    zentick::test::XDisplay display;
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
