#pragma once

#include "platform/installation.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace zentick::platform {

// The folder the program keeps its files in: the settings file, the alarm
// tune and a SoundFont of the user's. A copy of the program keeps them
// beside itself, wherever it was put; an installed program keeps them in
// the user's own folder for it (filesFolder below).
class ProgramDir {
public:
    virtual ~ProgramDir() = default;
    // Empty when the system cannot tell (the program file deleted, no /proc).
    virtual std::filesystem::path path() const = 0;
    // Whether the program makes that folder when it is missing: the user's
    // folder of an installed program, yes; a copy's own folder, never.
    virtual bool makesFolder() const { return false; }
};

struct FilesFolder {
    std::filesystem::path path;
    bool installed = false;
};

// Where a program in `programFolder` keeps its files. Installed into a
// prefix (a package's /usr, or any other), it stands where the install
// rules put it, beside the desktop entry they put there too; the prefix
// belongs to the system, not to one user, so the files go to
// `configHome`/zentick (empty when the user's folders are unknown). Any
// other copy keeps them in its own folder, as it always has.
inline FilesFolder filesFolder(const std::filesystem::path& programFolder, const std::filesystem::path& configHome)
{
    const auto entry = programFolder / kDesktopEntriesFromProgram / (std::string(kAppId) + ".desktop");
    std::error_code unknown;
    if (programFolder.empty() || !std::filesystem::is_regular_file(entry, unknown))
        return {programFolder, false};
    // Relative folders are not the user's: the desktop's rules ignore them.
    return {configHome.is_absolute() ? configHome / "zentick" : std::filesystem::path(), true};
}

// A file in the program's folder: the folder, one separator and the name,
// joined as they are, so a program in a root folder gets a doubled
// separator. No folder, no file: never one in the working folder.
inline std::filesystem::path inProgramDir(const std::filesystem::path& programDir, std::string_view name)
{
    if (programDir.empty())
        return {};
    std::filesystem::path path = programDir;
    path += std::filesystem::path::preferred_separator;
    path += name;
    return path;
}

}  // namespace zentick::platform
