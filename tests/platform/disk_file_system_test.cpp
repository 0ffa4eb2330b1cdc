#include "platform/file_system.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace zentick::platform {
namespace {

namespace fs = std::filesystem;

class DiskFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    DiskFileSystem files;
    fs::path target = dir.path() / "settings.ini";

    std::string contentOf(std::istream& in)
    {
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(DiskFiles, ReplacesTheWholeContentAndKeepsThePermissions)
{
    test::writeBytes(target, "old content that is longer than the new one\r\n");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, perms);
    test::writeBytes(DiskFileSystem::stagingPath(target), "left behind by a power cut");

    EXPECT_FALSE(files.replace(target, "new\r\n").has_value());
    EXPECT_EQ(test::readBytes(target), "new\r\n");
    EXPECT_EQ(fs::status(target).permissions(), perms);
    EXPECT_FALSE(fs::exists(DiskFileSystem::stagingPath(target)));
}

TEST_F(DiskFiles, FailedReplacementsLeaveTheOldFileAsItWas)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        WriteStep step;
        std::errc code;
    } const cases[] = {
        {"read-only file", [&] { fs::permissions(target, fs::perms::owner_read); }, WriteStep::Open,
         std::errc::permission_denied},
        {"a folder stands where the new copy goes",
         [&] { fs::create_directory(DiskFileSystem::stagingPath(target)); }, WriteStep::Open,
         std::errc::is_a_directory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(target, "old\r\n");
        c.arrange();
        const auto failure = files.replace(target, "new\r\n");
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->step, c.step);
        EXPECT_EQ(failure->code, c.code);
        EXPECT_EQ(test::readBytes(target), "old\r\n");
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_TRUE(fs::is_directory(DiskFileSystem::stagingPath(target))) << "a folder that was not ours is kept";
}

TEST_F(DiskFiles, AFolderInPlaceOfTheFileOrAMissingFolderCannotBeWritten)
{
    fs::create_directory(target);
    auto failure = files.replace(target, "new");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->step, WriteStep::Open);

    failure = files.replace(dir.path() / "missing" / "settings.ini", "new");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, std::errc::no_such_file_or_directory);
}

#ifndef _WIN32
// A file size limit makes the write itself fail, even for root.
TEST_F(DiskFiles, AWriteThatRunsOutOfRoomLeavesTheOldFileAndNoCopy)
{
    test::writeBytes(target, "old\r\n");
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failure = files.replace(target, "a line longer than four bytes\r\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->step, WriteStep::Write);
    EXPECT_EQ(failure->code, std::errc::file_too_large);
    EXPECT_EQ(test::readBytes(target), "old\r\n");
    EXPECT_FALSE(fs::exists(DiskFileSystem::stagingPath(target)));
}
#endif

TEST_F(DiskFiles, OpeningTellsAMissingFileApart)
{
    std::error_code error;
    EXPECT_EQ(files.openForReading(target, error), nullptr);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);

    fs::create_directory(target);
    EXPECT_EQ(files.openForReading(target, error), nullptr);
    EXPECT_EQ(error, std::errc::is_a_directory);
    fs::remove(target);

    test::writeBytes(target, "5,0\r\n");
    auto in = files.openForReading(target, error);
    ASSERT_NE(in, nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(contentOf(*in), "5,0\r\n");
}

}  // namespace
}  // namespace zentick::platform
