// A process killed at random moments while it saves the settings, hundreds
// of times: the file must always hold one whole line, the old or the new.

#include "settings/ini_file.h"

#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zentick::settings {
namespace {

TEST(PowerCut, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewLineWhole)
{
    test::TempDir dir;
    const test::FixedProgramDir programDir{dir.path()};
    const ClockState states[] = {{5, 0, buildTime(7, 0, 0), 2, 0, 0}, {12, 1, buildTime(6, 30, 0), 0, 0, 0}};
    const std::string lines[] = {"5,0,#07:00:00#,2\r\n", "12,1,#06:30:00#,0\r\n"};
    test::writeBytes(iniPath(dir.path()), lines[0]);

    std::mt19937 random(20261208);  // fixed, so a failing run can be repeated
    int seen[2] = {0, 0};
    for (int run = 0; run < 300; ++run) {
        int saved[2];
        ASSERT_EQ(pipe(saved), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Save and save again, alternating, until killed; report each save done.
            close(saved[0]);
            platform::DiskFileSystem files;
            test::RecordingMessageBox messages;
            for (int i = 1;; ++i) {
                saveIni(states[i % 2], {files, programDir, messages});
                [[maybe_unused]] const auto written = write(saved[1], "s", 1);
            }
        }
        close(saved[1]);
        // Paced by the child's own progress, so the kills land all through
        // the saves however fast or loaded the machine is.
        char done = 0;
        for (auto wait = random() % 3; wait > 0; --wait)
            ASSERT_EQ(read(saved[0], &done, 1), 1);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(saved[0]);

        const std::string content = test::readBytes(iniPath(dir.path()));
        ASSERT_TRUE(content == lines[0] || content == lines[1]) << "run " << run << " left: " << content;
        ++seen[content == lines[1] ? 1 : 0];
    }
    // The kills landed at different moments of the saves, not all before the first.
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);

    // A copy left half-written by the last kill is no obstacle to reading.
    ClockState state;
    test::RecordingMessageBox messages;
    platform::DiskFileSystem files;
    readIni(state, {files, programDir, messages});
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace zentick::settings
#endif
