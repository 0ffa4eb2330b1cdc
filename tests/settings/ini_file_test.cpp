#include "settings/ini_file.h"

#include "platform/disk/disk_file_system.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zentick::settings {
namespace {

namespace fs = std::filesystem;
using platform::MessageIcon;
using platform::WriteFailure;
using platform::WriteStep;

bool endsWith(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Every box a failure shows is critical and tagged with the procedure.
void expectCriticalBoxes(const std::vector<test::Message>& shown, std::size_t count, std::string_view tag)
{
    ASSERT_EQ(shown.size(), count);
    for (const auto& message : shown) {
        EXPECT_EQ(message.icon, MessageIcon::Critical);
        EXPECT_TRUE(endsWith(message.text, tag)) << message.text;
        EXPECT_GT(message.text.size(), tag.size()) << "a failure needs a description";
    }
}

TEST(IniPath, JoinsFolderSeparatorAndNameAsTheyAre)
{
    const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
    EXPECT_EQ(iniPath("/opt/zentick").string(), "/opt/zentick" + sep + "Zentick.ini");
    EXPECT_EQ(iniPath("/").string(), "/" + sep + "Zentick.ini");  // a root folder doubles the separator
}

// The settings file on a real disk.
class IniOnDisk : public ::testing::Test {
protected:
    test::TempDir dir;
    platform::DiskFileSystem files;
    test::FixedProgramDir programDir{dir.path()};
    test::RecordingMessageBox messages;
    IniEnv env{files, programDir, messages};
    ClockState state;

    fs::path ini() const { return iniPath(dir.path()); }
};

TEST_F(IniOnDisk, FirstStartAnnouncesAndCreatesTheDefaultFile)
{
    readIni(state, env);
    EXPECT_EQ(messages.shown, (std::vector<test::Message>{{"設定ﾌｧｲﾙを作成します", MessageIcon::None}}));
    EXPECT_EQ(test::readBytes(ini()), "5,0,#07:00:00#,2\r\n");
    EXPECT_EQ(state.area, 5);
    EXPECT_EQ(state.summer, 0);
    EXPECT_EQ(state.alarmTime, buildTime(7, 0, 0));
    EXPECT_EQ(state.buzzer, 2);
    EXPECT_EQ(state.alarmDone, 0);
}

TEST_F(IniOnDisk, SavedSettingsReadBackOnTheNextStart)
{
    test::writeBytes(ini(), "5,0,#07:00:00#,2\r\nan old second line\r\n");
    const ClockState saved{12, 1, buildTime(23, 59, 0), 0, 0, 0};
    saveIni(saved, env);
    EXPECT_EQ(test::readBytes(ini()), "12,1,#23:59:00#,0\r\n");
    readIni(state, env);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(state.area, 12);
    EXPECT_EQ(state.alarmTime, buildTime(23, 59, 0));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "a copy was left";
}

TEST_F(IniOnDisk, AnEmptyFileIsReportedNotRecreated)
{
    test::writeBytes(ini(), "");
    readIni(state, env);
    expectCriticalBoxes(messages.shown, 1, " (in readIni)");
    EXPECT_EQ(test::readBytes(ini()), "");
    EXPECT_EQ(state.area, 0);
    EXPECT_EQ(state.buzzer, 0);
}

TEST_F(IniOnDisk, AFileThatCannotBeOpenedGivesABoxForTheOpenAndOneForTheRead)
{
    fs::create_directory(ini());  // root can open no folder as a file
    readIni(state, env);
    expectCriticalBoxes(messages.shown, 2, " (in readIni)");
    EXPECT_NE(messages.shown[0].text.find("フォルダー"), std::string::npos);
    EXPECT_NE(messages.shown[0].text.find("Zentick.ini"), std::string::npos);
}

TEST_F(IniOnDisk, AFolderThatCannotTakeTheDefaultFileStillStartsWithDefaults)
{
    test::FixedProgramDir missing{dir.path() / "gone"};
    IniEnv nowhere{files, missing, messages};
    readIni(state, nowhere);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], (test::Message{"設定ﾌｧｲﾙを作成します", MessageIcon::None}));
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::Critical);
    EXPECT_TRUE(endsWith(messages.shown[1].text, " (in readIni)"));
    EXPECT_EQ(state.area, 5);
    EXPECT_EQ(state.alarmTime, buildTime(7, 0, 0));
    EXPECT_EQ(state.buzzer, 2);
    EXPECT_FALSE(fs::exists(dir.path() / "gone")) << "a copy's own folder is never made again";
}

TEST_F(IniOnDisk, AnInstalledProgramMakesItsFolderWhenItIsFirstNeeded)
{
    const fs::path folder = dir.path() / "config" / "zentick";
    const test::FixedProgramDir usersFolder{folder, true};
    const IniEnv installed{files, usersFolder, messages};
    readIni(state, installed);
    EXPECT_EQ(messages.shown, (std::vector<test::Message>{{"設定ﾌｧｲﾙを作成します", MessageIcon::None}}));
    EXPECT_EQ(test::readBytes(iniPath(folder)), "5,0,#07:00:00#,2\r\n");

    fs::remove_all(dir.path() / "config");  // while the clock ran
    saveIni(ClockState{12, 1, buildTime(6, 30, 0), 0, 0, 0}, installed);
    EXPECT_EQ(messages.shown.size(), 1u) << "the save made its folder again, with no word";
    EXPECT_EQ(test::readBytes(iniPath(folder)), "12,1,#06:30:00#,0\r\n");
}

TEST_F(IniOnDisk, SavingOverAReadOnlyFileKeepsItsContent)
{
    test::writeBytes(ini(), "5,0,#07:00:00#,2\r\n");
    fs::permissions(ini(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    saveIni(ClockState{12, 1, buildTime(6, 30, 0), 0, 0, 0}, env);
    expectCriticalBoxes(messages.shown, 2, " (in saveIni)");
    EXPECT_EQ(test::readBytes(ini()), "5,0,#07:00:00#,2\r\n");
}

#ifndef _WIN32
TEST_F(IniOnDisk, AFifoAtTheSettingsPathIsReportedNotWaitedOn)
{
    ASSERT_EQ(mkfifo(ini().c_str(), 0644), 0);
    readIni(state, env);
    expectCriticalBoxes(messages.shown, 2, " (in readIni)");
    EXPECT_NE(messages.shown[0].text.find("名前付きパイプ (FIFO)"), std::string::npos) << messages.shown[0].text;
    EXPECT_NE(messages.shown[0].text.find("Zentick.ini"), std::string::npos);
    saveIni(ClockState{12, 1, buildTime(6, 30, 0), 0, 0, 0}, env);
    EXPECT_TRUE(fs::is_fifo(ini())) << "the FIFO was replaced";
}
#endif

// Failures the disk cannot be made to produce on demand.
class IniWithFaults : public ::testing::Test {
protected:
    test::MemoryFileSystem files;
    test::FixedProgramDir programDir{"/zentick"};
    test::RecordingMessageBox messages;
    IniEnv env{files, programDir, messages};
    ClockState state;
    ClockState edited{12, 1, buildTime(6, 30, 0), 0, 0, 0};
};

TEST_F(IniWithFaults, EachFailedSaveStepGetsItsOwnBox)
{
    struct Case {
        const char* name;
        WriteFailure failure;
        std::size_t boxes;
        const char* mentions;
    } const cases[] = {
        {"open refused", {WriteStep::Open, std::make_error_code(std::errc::permission_denied)}, 2, "拒否"},
        {"disk full while writing", {WriteStep::Write, std::make_error_code(std::errc::no_space_on_device)}, 1,
         "空き容量"},
        {"device error while committing", {WriteStep::Commit, std::make_error_code(std::errc::io_error)}, 1,
         "エラー"},
        {"held by another program", {WriteStep::Commit, std::make_error_code(std::errc::device_or_resource_busy)}, 1,
         "使用中"},
        {"failed while written in place", {WriteStep::Write, std::make_error_code(std::errc::io_error), true}, 1,
         "壊れているおそれ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        files.writeFailure = c.failure;
        saveIni(edited, env);
        expectCriticalBoxes(messages.shown, c.boxes, " (in saveIni)");
        EXPECT_NE(messages.shown.front().text.find(c.mentions), std::string::npos) << messages.shown.front().text;
        EXPECT_NE(messages.shown.front().text.find("Zentick.ini"), std::string::npos);
    }
}

TEST_F(IniWithFaults, AFolderThatCannotBeMadeIsReportedAsAFailedOpen)
{
    const test::FixedProgramDir usersFolder{"/home/someone/.config/zentick", true};
    const IniEnv installed{files, usersFolder, messages};
    files.folderFailure = std::make_error_code(std::errc::not_a_directory);
    readIni(state, installed);
    saveIni(edited, installed);
    ASSERT_EQ(messages.shown.size(), 4u) << "the notice; one box for reading; two for saving";
    EXPECT_NE(messages.shown[1].text.find("フォルダーでないもの"), std::string::npos) << messages.shown[1].text;
    expectCriticalBoxes({messages.shown.begin() + 2, messages.shown.end()}, 2, " (in saveIni)");
    EXPECT_EQ(files.foldersMade, (std::vector<fs::path>(2, "/home/someone/.config/zentick")));
    EXPECT_EQ(files.replaces, 0);
    EXPECT_EQ(state.buzzer, 2) << "started with the defaults";
}

TEST_F(IniWithFaults, ADiskFullAtFirstStartStillStartsWithDefaults)
{
    files.writeFailure = WriteFailure{WriteStep::Write, std::make_error_code(std::errc::no_space_on_device)};
    readIni(state, env);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "設定ﾌｧｲﾙを作成します");
    EXPECT_TRUE(endsWith(messages.shown[1].text, " (in readIni)"));
    EXPECT_EQ(state.buzzer, 2);
}

TEST_F(IniWithFaults, AnUnreadableFileKeepsTheStartValues)
{
    files.files[iniPath("/zentick")] = "12,1,#06:30:00#,0\r\n";
    files.openFailure = std::make_error_code(std::errc::permission_denied);
    readIni(state, env);
    expectCriticalBoxes(messages.shown, 2, " (in readIni)");
    EXPECT_NE(messages.shown.front().text.find("読み取り禁止"), std::string::npos) << messages.shown.front().text;
    EXPECT_EQ(state.area, 0);
    EXPECT_EQ(files.replaces, 0) << "an existing file is never recreated";
    EXPECT_EQ(files.tidyings, 1) << "copies left by saves cut short are tidied at each start";
}

TEST_F(IniWithFaults, AnUnknownProgramFolderIsAFailureNotTheWorkingFolder)
{
    const test::FixedProgramDir unknown{""};
    const IniEnv nowhere{files, unknown, messages};
    readIni(state, nowhere);
    saveIni(edited, nowhere);
    expectCriticalBoxes(messages.shown, 2, "");
    EXPECT_NE(messages.shown.front().text.find("プログラムのあるフォルダーがわからない"), std::string::npos);
    EXPECT_EQ(state.buzzer, 2) << "started with the defaults";
    EXPECT_TRUE(files.files.empty());
    EXPECT_EQ(files.replaces + files.tidyings, 0);
}

}  // namespace
}  // namespace zentick::settings
