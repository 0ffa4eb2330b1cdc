#include "platform/disk/disk_file_system.h"

#include "support/simulated_disk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

    // What the folder holds: a save leaves no copy of its own behind.
    std::set<std::string> folderContent() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(DiskFiles, ReplacesTheWholeContentAndKeepsThePermissions)
{
    test::writeBytes(target, "old content that is longer than the new one\r\n");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, perms);
    test::writeBytes(dir.path() / "settings.ini.tmp", "left behind by a power cut in an older version");

    EXPECT_FALSE(files.replace(target, "new\r\n").has_value());
    EXPECT_EQ(test::readBytes(target), "new\r\n");
#ifndef _WIN32  // Windows keeps one read-only attribute, not permission bits
    EXPECT_EQ(fs::status(target).permissions(), perms);
#endif
    EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini", "settings.ini.tmp"}));
}

#ifndef _WIN32  // links there take privileges a user lacks, and a Windows build of the library
TEST_F(DiskFiles, ALinkIsFollowedToTheFileItNames)
{
    fs::create_directory(dir.path() / "elsewhere");
    const fs::path real = dir.path() / "elsewhere" / "real.ini";
    test::writeBytes(real, "old\r\n");
    fs::create_symlink("elsewhere/real.ini", target);

    EXPECT_FALSE(files.replace(target, "new\r\n").has_value());
    EXPECT_TRUE(fs::is_symlink(target)) << "the link was replaced by a file";
    EXPECT_EQ(test::readBytes(real), "new\r\n");

    fs::remove(real);  // a link that points nowhere yet: the file it names is made
    EXPECT_FALSE(files.replace(target, "first\r\n").has_value());
    EXPECT_EQ(test::readBytes(real), "first\r\n");
    EXPECT_TRUE(fs::is_symlink(target));
}
#endif

TEST_F(DiskFiles, TwoSaversInOneFolderNeverMeet)
{
    test::writeBytes(target, "old\r\n");
    const auto saveMany = [&](const char* content, int& failures) {
        DiskFileSystem own;
        for (int i = 0; i < 200; ++i) {
            if (const auto failure = own.replace(target, content)) {
                ADD_FAILURE() << "step " << static_cast<int>(failure->step) << ": " << failure->code.message();
                ++failures;
            }
        }
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a([&] { saveMany("a\r\n", failuresA); });
    std::thread b([&] { saveMany("b\r\n", failuresB); });
    a.join();
    b.join();
    EXPECT_EQ(failuresA + failuresB, 0);
    const auto content = test::readBytes(target);
    EXPECT_TRUE(content == "a\r\n" || content == "b\r\n") << content;
    EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini"}));
}

TEST_F(DiskFiles, FailedReplacementsLeaveTheOldFileAsItWas)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        WriteStep step;
        std::errc code;
    } const cases[] = {
        // Root may write it, but no write bit says the user wants it kept.
        {"read-only file", [&] { fs::permissions(target, fs::perms::owner_read); }, WriteStep::Open,
         std::errc::permission_denied},
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
        EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini"}));
    }

    // No copy can be named beside a file whose name is already as long as names go.
    const fs::path longest = dir.path() / std::string(250, 'z');
    test::writeBytes(longest, "old\r\n");
    const auto failure = files.replace(longest, "new\r\n");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, std::errc::filename_too_long);
    EXPECT_EQ(test::readBytes(longest), "old\r\n");
}

// Each call of a save failing in turn, on a disk that can fail any call:
// what the save reports, and what the file then holds.
TEST(DiskFailures, EachIsReportedForWhatItLeft)
{
    const std::string oldLine = "12,1,#06:30:00#,0\r\n";
    const std::string newLine = "5,0,#07:00:00#,2\r\n";
    const std::string padded = newLine + std::string(oldLine.size() - newLine.size(), ' ');
    using std::errc;
    struct Case {
        const char* name;
        bool inPlace;  // the folder takes no new file
        std::string_view call;
        int nth;
        errc code;
        std::optional<bool> damaged;  // none: saved
        std::string left;
    } const cases[] = {
        {"an interrupted write is retried", false, "write", 1, errc::interrupted, std::nullopt, newLine},
        {"a copy that cannot be synced is never renamed", false, "sync", 1, errc::io_error, false, oldLine},
        {"a rename that fails leaves the old file", false, "rename", 1, errc::io_error, false, oldLine},
        {"in place, a write refused at once changes nothing", true, "write", 1, errc::no_space_on_device, false,
         oldLine},
        {"in place, a write that stops half-way may damage the file", true, "write", 2, errc::io_error, true,
         newLine.substr(0, 4) + oldLine.substr(4)},
        {"in place, a sync that fails may lose the new line", true, "sync", 1, errc::io_error, true, padded},
        {"in place, a cut that fails leaves blanks a reader skips", true, "truncate", 1, errc::io_error, std::nullopt,
         padded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::SimulatedDisk disk;
        disk.put("settings.ini", oldLine);
        disk.folderTakesNewNames = !c.inPlace;
        disk.mostPerWrite = 4;
        disk.failure = [&](std::string_view call, int nth) {
            return call == c.call && nth == c.nth ? std::make_error_code(c.code) : std::error_code();
        };
        DiskFileSystem files(disk);
        const auto failure = files.replace(disk.path("settings.ini"), newLine);
        EXPECT_EQ(failure.has_value(), c.damaged.has_value());
        if (failure && c.damaged) {
            EXPECT_EQ(failure->code, c.code);
            EXPECT_EQ(failure->mayBeDamaged, *c.damaged);
        }
        EXPECT_EQ(disk.contentOf("settings.ini"), c.left);
        EXPECT_EQ(disk.names(), std::set<std::string>{"settings.ini"});
    }

    // The copy is never more open than the file it replaces, even for a moment.
    test::SimulatedDisk disk;
    disk.put("settings.ini", oldLine, 0600);
    DiskFileSystem files(disk);
    ASSERT_FALSE(files.replace(disk.path("settings.ini"), newLine).has_value());
    EXPECT_EQ(disk.createdModes, std::vector<unsigned>{0600});

    // An interrupted read is read again.
    disk.failure = [](std::string_view call, int nth) {
        return call == "read" && nth == 1 ? std::make_error_code(std::errc::interrupted) : std::error_code();
    };
    std::error_code error;
    const auto in = files.openForReading(disk.path("settings.ini"), error);
    ASSERT_NE(in, nullptr) << error.message();
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(*in), {}), newLine);
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

TEST_F(DiskFiles, MakesTheFoldersMissingOnTheWayAndOnlyThose)
{
    const fs::path there = dir.path() / "there";
    fs::create_directory(there);
    fs::permissions(there, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    test::writeBytes(dir.path() / "a file", "");
    struct Case {
        const char* name;
        fs::path folder;
        std::error_code expected;
    } const cases[] = {
        {"two levels missing", dir.path() / "config" / "zentick", {}},
        {"one there already", there, {}},
        {"a file in the way", dir.path() / "a file" / "zentick", std::make_error_code(std::errc::not_a_directory)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::error_code made = files.makeFolder(c.folder);
#ifdef _WIN32
        EXPECT_EQ(static_cast<bool>(made), static_cast<bool>(c.expected)) << made;  // Windows finds no such path
#else
        EXPECT_EQ(made, c.expected);
#endif
        EXPECT_EQ(fs::is_directory(c.folder), !c.expected);
    }
#ifndef _WIN32
    // What was made is the user's alone; what was there is left as it was.
    for (const fs::path& made : {dir.path() / "config", dir.path() / "config" / "zentick"})
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
    EXPECT_NE(fs::status(there).permissions() & fs::perms::all, fs::perms::owner_all);
    // A user's folder for settings is often a link: it is followed, not replaced.
    fs::create_directory_symlink(there, dir.path() / "link");
    EXPECT_EQ(files.makeFolder(dir.path() / "link" / "zentick"), std::error_code());
    EXPECT_TRUE(fs::is_directory(there / "zentick"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
#endif
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
    EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini"}));
}

TEST_F(DiskFiles, OnlyARegularFileIsReadAndNothingWaits)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        NotAFile kind;
    } const cases[] = {
        {"a FIFO with no writer", [&] { ASSERT_EQ(mkfifo(target.c_str(), 0644), 0); }, NotAFile::Fifo},
        {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", target); }, NotAFile::CharacterDevice},
        {"a folder", [&] { fs::create_directory(target); }, NotAFile::Directory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        std::error_code error;
        EXPECT_EQ(files.openForReading(target, error), nullptr);
        EXPECT_EQ(error, make_error_code(c.kind));
        EXPECT_NE(error.message().find("ファイルの場所に"), std::string::npos) << error.message();
        const auto failure = files.replace(target, "new\r\n");
        ASSERT_TRUE(failure.has_value()) << "replaced";
        EXPECT_EQ(failure->code, make_error_code(c.kind));
        fs::remove(target);
    }
}

TEST_F(DiskFiles, OnlyThisProgramsAbandonedCopiesAreTidiedAway)
{
    test::writeBytes(target, "5,0\r\n");
    const fs::path inUse = dir.path() / "settings.ini.89abcdef.tmp";
    test::writeBytes(inUse, "a save under way");
    const int held = ::open(inUse.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        bool removed;
    } const cases[] = {
        {"settings.ini.0123abcd.tmp", [](const fs::path& p) { test::writeBytes(p, "left by a kill"); }, true},
        {"settings.ini.tmp", [](const fs::path& p) { test::writeBytes(p, "not a copy's name"); }, false},
        {"settings.ini.0123ABCD.tmp", [](const fs::path& p) { test::writeBytes(p, "nor this"); }, false},
        {"other.ini.0123abcd.tmp", [](const fs::path& p) { test::writeBytes(p, "another file's"); }, false},
        {"settings.ini.fedcba98.tmp", [&](const fs::path& p) { fs::create_symlink(target, p); }, false},
        {"settings.ini.00000000.tmp", [](const fs::path& p) { fs::create_directory(p); }, false},
    };
    for (const auto& c : cases)
        c.make(dir.path() / c.name);

    files.removeStaleCopies(target);
    ::close(held);
    EXPECT_TRUE(fs::exists(inUse)) << "a copy locked by its save was removed";
    EXPECT_TRUE(fs::exists(target));
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(fs::symlink_status(dir.path() / c.name)), !c.removed) << c.name;
}

TEST_F(DiskFiles, AHugeFileIsReadOnlyAsFarAsASettingsFileGoes)
{
    test::writeBytes(target, std::string(1 << 20, '7'));
    std::error_code error;
    auto in = files.openForReading(target, error);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(contentOf(*in).size(), kMaxReadBytes);
}

// Permissions as an ordinary user meets them: the checks run in a child
// that has dropped to nobody, with files and folders made by root.
class DiskFilesAsUser : public DiskFiles {
protected:
    static constexpr uid_t kNobody = 65534;

    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to make files of another user";
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                                        | fs::perms::others_read | fs::perms::others_exec);
    }

    // Runs `check` as nobody, a member of `groups` only; what it returns is
    // the failure, empty for none.
    static std::string asNobody(const std::function<std::string()>& check, std::vector<gid_t> groups = {})
    {
        int report[2];
        if (pipe(report) != 0)
            return "no pipe";
        const pid_t child = fork();
        if (child == 0) {
            close(report[0]);
            const bool became = setgroups(groups.size(), groups.data()) == 0 && setgid(kNobody) == 0
                && setuid(kNobody) == 0;
            std::string failure = became ? check() : "could not become nobody";
            [[maybe_unused]] const auto written = write(report[1], failure.data(), failure.size());
            _exit(0);
        }
        close(report[1]);
        std::string failure;
        char buffer[256];
        for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
            failure.append(buffer, static_cast<std::size_t>(n));
        close(report[0]);
        waitpid(child, nullptr, 0);
        return failure;
    }
};

TEST_F(DiskFilesAsUser, AWritableFileInAFolderTheUserCannotWriteIsSavedInPlace)
{
    test::writeBytes(target, "old content, longer than the new\r\n");
    ASSERT_EQ(chown(target.c_str(), kNobody, kNobody), 0);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat before {};
    ASSERT_EQ(stat(target.c_str(), &before), 0);

    EXPECT_EQ(asNobody([&]() -> std::string {
                  DiskFileSystem own;
                  const auto failure = own.replace(target, "new\r\n");
                  return failure ? "refused: " + failure->code.message() : "";
              }),
              "");
    EXPECT_EQ(test::readBytes(target), "new\r\n");
    struct stat after {};
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "written in place, so the same file";
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini"}));
}

TEST_F(DiskFilesAsUser, AFileTheUserMayNotWriteIsNeverReplacedEvenInAFolderTheyMay)
{
    fs::permissions(dir.path(), fs::perms::all);
    test::writeBytes(target, "old\r\n");  // root's, 0644
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                                | fs::perms::others_read);

    EXPECT_EQ(asNobody([&]() -> std::string {
                  DiskFileSystem own;
                  const auto failure = own.replace(target, "new\r\n");
                  if (!failure)
                      return "replaced";
                  if (failure->step != WriteStep::Open || failure->code != std::errc::permission_denied)
                      return "wrong failure: " + failure->code.message();
                  return "";
              }),
              "");
    EXPECT_EQ(test::readBytes(target), "old\r\n");
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u) << "the file changed hands";
    EXPECT_EQ(folderContent(), (std::set<std::string>{"settings.ini"}));
}

// The kernel's protection for sticky, world-writable folders, on as Debian
// ships it, for as long as a test needs it.
class ProtectedLinks {
public:
    ProtectedLinks() : m_was(setting())
    {
        if (m_was == "0")
            write("1");
    }
    ~ProtectedLinks()
    {
        if (m_was == "0")
            write("0");
    }
    bool on() const { return setting() == "1"; }

private:
    static constexpr const char* kSetting = "/proc/sys/fs/protected_symlinks";
    static std::string setting() { return test::readBytes(kSetting).substr(0, 1); }
    static void write(const char* value) { std::ofstream(kSetting) << value; }
    std::string m_was;
};

TEST_F(DiskFilesAsUser, ALinkTheKernelWillNotFollowIsNeitherReadNorWritten)
{
    const ProtectedLinks protection;
    if (!protection.on())
        GTEST_SKIP() << "the kernel's protection of links in shared folders cannot be switched on here";
    const fs::path shared = dir.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    struct Case {
        const char* name;
        uid_t linkOwner;
        bool followed;
    } const cases[] = {
        {"planted by another user", 4243, false},
        {"the user's own", kNobody, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path victim = dir.path() / "notes.txt";
        const fs::path link = shared / "settings.ini";
        test::writeBytes(victim, "the user's notes\n");
        ASSERT_EQ(chown(victim.c_str(), kNobody, kNobody), 0);
        fs::create_symlink(victim, link);
        ASSERT_EQ(lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);

        EXPECT_EQ(asNobody([&]() -> std::string {
                      DiskFileSystem own;
                      std::error_code error;
                      const bool read = own.openForReading(link, error) != nullptr;
                      const auto failure = own.replace(link, "new\r\n");
                      if (read != c.followed || !failure != c.followed)
                          return "read " + std::to_string(read) + ", written " + std::to_string(!failure);
                      if (!c.followed && (error != std::errc::permission_denied || failure->code != error))
                          return "refused as " + error.message() + " and " + failure->code.message();
                      return "";
                  }),
                  "");
        EXPECT_EQ(test::readBytes(victim), c.followed ? "new\r\n" : "the user's notes\n");
        fs::remove(link);
        fs::remove(victim);
    }
}

TEST_F(DiskFilesAsUser, AMemberOfAFilesGroupKeepsTheGroupWhenSaving)
{
    constexpr gid_t kShared = 4242;
    fs::permissions(dir.path(), fs::perms::all);  // no set-group-ID bit: a new file takes the user's group
    test::writeBytes(target, "old\r\n");
    ASSERT_EQ(chown(target.c_str(), 0, kShared), 0);
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write
        | fs::perms::others_read;
    fs::permissions(target, perms);

    EXPECT_EQ(asNobody(
                  [&]() -> std::string {
                      DiskFileSystem own;
                      const auto failure = own.replace(target, "new\r\n");
                      return failure ? "refused: " + failure->code.message() : "";
                  },
                  {kShared}),
              "");
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_gid, kShared);
    EXPECT_EQ(fs::status(target).permissions(), perms);
    EXPECT_EQ(test::readBytes(target), "new\r\n");
}

TEST_F(DiskFilesAsUser, ReplacingKeepsTheFilesOwner)
{
    test::writeBytes(target, "old\r\n");
    ASSERT_EQ(chown(target.c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(files.replace(target, "new\r\n").has_value());  // root, for a user
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kNobody);
    EXPECT_EQ(test::readBytes(target), "new\r\n");
}
#endif

TEST_F(DiskFiles, OpeningTellsAMissingFileApart)
{
    std::error_code error;
    EXPECT_EQ(files.openForReading(target, error), nullptr);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);


    test::writeBytes(target, "5,0\r\n");
    auto in = files.openForReading(target, error);
    ASSERT_NE(in, nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(contentOf(*in), "5,0\r\n");
}

}  // namespace
}  // namespace zentick::platform
