// What Windows must get right of the settings file: paths with '\', a
// program in a drive's root, the read-only attribute, replacing a file
// that exists, and bytes on disk exactly as written.

#include "platform/disk/disk_file_system.h"
#include "platform/program_dir.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>

namespace zentick::platform {
namespace {

namespace fs = std::filesystem;

TEST(WindowsPaths, BesideTheProgramIsJoinedWithABackslashAndDoubledInARoot)
{
    struct Case {
        const wchar_t* folder;
        const wchar_t* expected;
    } const cases[] = {
        {L"C:\\Program Files\\Zentick", L"C:\\Program Files\\Zentick\\Zentick.ini"},
        {L"C:\\", L"C:\\\\Zentick.ini"},  // joined as it is: the root's own separator and one more
        {L"\\\\server\\share\\clock", L"\\\\server\\share\\clock\\Zentick.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fs::path(c.folder).string());
        EXPECT_EQ(inProgramDir(c.folder, "Zentick.ini").native(), std::wstring(c.expected));
    }
}

TEST(WindowsPaths, ADoubledSeparatorNamesTheSameFile)
{
    test::TempDir dir;
    const fs::path doubled = dir.path().native() + L"\\\\Zentick.ini";
    DiskFileSystem files;
    ASSERT_FALSE(files.replace(doubled, "5,0,#07:00:00#,2\r\n").has_value());
    EXPECT_EQ(test::readBytes(dir.path() / "Zentick.ini"), "5,0,#07:00:00#,2\r\n");
}

class WindowsFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    DiskFileSystem files;
    fs::path target = dir.path() / "Zentick.ini";

    std::set<std::wstring> folderContent() const
    {
        std::set<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.insert(entry.path().filename().native());
        return names;
    }
};

TEST_F(WindowsFiles, AMissingFileOrFolderIsToldApart)
{
    for (const fs::path& missing : {target, dir.path() / "gone" / "Zentick.ini"}) {
        std::error_code error;
        EXPECT_EQ(files.openForReading(missing, error), nullptr);
        EXPECT_EQ(error, std::errc::no_such_file_or_directory) << error.message();
    }
    test::writeBytes(target, "");
    std::error_code error;
    EXPECT_NE(files.openForReading(target, error), nullptr);
    EXPECT_FALSE(error);
}

TEST_F(WindowsFiles, ReplacingAnExistingFileLeavesTheNewBytesExactlyAndNoCopy)
{
    test::writeBytes(target, "an old line, longer than the new one\r\n");
    for (const std::string content : {"5,0,#07:00:00#,2\r\n", "12,1,#06:30:00#,0\r\n"}) {
        ASSERT_FALSE(files.replace(target, content).has_value());
        EXPECT_EQ(test::readBytes(target), content) << "no text-mode translation on writing";
        std::error_code error;
        auto in = files.openForReading(target, error);
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(*in), {}), content) << "nor on reading";
    }
    EXPECT_EQ(folderContent(), (std::set<std::wstring>{L"Zentick.ini"}));
}

TEST_F(WindowsFiles, AFileWithTheReadOnlyAttributeIsKept)
{
    test::writeBytes(target, "5,0,#07:00:00#,2\r\n");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    const auto failure = files.replace(target, "12,1,#06:30:00#,0\r\n");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->step, WriteStep::Open);
    EXPECT_EQ(failure->code, std::errc::permission_denied) << failure->code.message();
    EXPECT_EQ(test::readBytes(target), "5,0,#07:00:00#,2\r\n");
    EXPECT_EQ(folderContent(), (std::set<std::wstring>{L"Zentick.ini"}));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the folder can go
}

// Another program (a virus scanner, a backup, an editor) holding the file:
// for a moment it is waited out, for longer it is named as what it is.
struct Hold {
    HANDLE file;
    std::chrono::milliseconds heldFor;

    static DWORD WINAPI releaseLater(void* hold)
    {
        auto* self = static_cast<Hold*>(hold);
        Sleep(static_cast<DWORD>(self->heldFor.count()));
        CloseHandle(self->file);
        return 0;
    }
};

TEST_F(WindowsFiles, AFileHeldByAnotherProgramIsWaitedOutOrNamed)
{
    struct Case {
        const char* name;
        DWORD sharing;
        std::chrono::milliseconds heldFor;
        bool saved;
    } const cases[] = {
        {"held without sharing, for long", 0, std::chrono::seconds(3), false},
        {"held with reading and writing shared, for long", FILE_SHARE_READ | FILE_SHARE_WRITE, std::chrono::seconds(3),
         false},
        {"held with reading and writing shared, for a moment", FILE_SHARE_READ | FILE_SHARE_WRITE,
         std::chrono::milliseconds(50), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(target, "old\r\n");
        Hold hold{CreateFileW(target.c_str(), GENERIC_READ, c.sharing, nullptr, OPEN_EXISTING, 0, nullptr), c.heldFor};
        ASSERT_NE(hold.file, INVALID_HANDLE_VALUE);
        HANDLE release = CreateThread(nullptr, 0, &Hold::releaseLater, &hold, 0, nullptr);
        const auto failure = files.replace(target, "new\r\n");
        WaitForSingleObject(release, INFINITE);
        CloseHandle(release);
        EXPECT_EQ(failure.has_value(), !c.saved);
        if (failure) {
            EXPECT_EQ(failure->code, std::errc::device_or_resource_busy) << failure->code.message();
        }
        EXPECT_EQ(test::readBytes(target), c.saved ? "new\r\n" : "old\r\n");
        EXPECT_EQ(folderContent(), (std::set<std::wstring>{L"Zentick.ini"}));
    }
}

}  // namespace
}  // namespace zentick::platform
