#include "platform/program_dir.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace zentick::platform {
namespace {

namespace fs = std::filesystem;

// An installed program is told from a copy by the desktop entry its
// installation puts beside it, and only by that.
TEST(FilesFolder, AnInstalledProgramKeepsItsFilesInTheUsersFolderAndACopyBesideItself)
{
    const std::string entry = std::string(kAppId) + ".desktop";
    const fs::path config = fs::absolute("/home/someone/.config");  // on the current drive, on Windows
    struct Case {
        const char* name;
        std::vector<std::string> files;  // made under the test's folder
        const char* program;             // the program's folder, in the test's folder
        fs::path configHome;
        std::optional<fs::path> expected;  // none: the program's own folder
        bool installed;
    } const cases[] = {
        {"a copy in a folder of its own", {"zentick/zentick"}, "zentick", config, std::nullopt, false},
        {"installed into a prefix", {"usr/bin/zentick", "usr/share/applications/" + entry}, "usr/bin", config,
         config / "zentick", true},
        {"installed, where the user's folders are unknown", {"usr/bin/zentick", "usr/share/applications/" + entry},
         "usr/bin", "", fs::path(), true},
        // The desktop's rules ignore a relative XDG_CONFIG_HOME.
        {"installed, with a relative folder for settings", {"usr/bin/zentick", "usr/share/applications/" + entry},
         "usr/bin", ".config", fs::path(), true},
        {"a user's own bin folder, beside other programs' entries",
         {"home/bin/zentick", "home/share/applications/other.desktop"}, "home/bin", config, std::nullopt, false},
        {"an entry of the same name that is a folder", {"opt/bin/zentick", "opt/share/applications/" + entry + "/x"},
         "opt/bin", config, std::nullopt, false},
        {"the entry in the program's own folder", {"zentick/zentick", "zentick/" + entry}, "zentick", config,
         std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        for (const auto& file : c.files) {
            fs::create_directories((dir.path() / file).parent_path());
            test::writeBytes(dir.path() / file, "");
        }
        const fs::path program = dir.path() / c.program;
        const FilesFolder folder = filesFolder(program, c.configHome);
        EXPECT_EQ(folder.path, c.expected.value_or(program));
        EXPECT_EQ(folder.installed, c.installed);
    }
    EXPECT_EQ(filesFolder("", config).path, fs::path()) << "no folder known, no folder made up";
}

}  // namespace
}  // namespace zentick::platform
