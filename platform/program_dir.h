#pragma once

#include <filesystem>
#include <string_view>

namespace zentick::platform {

// The folder that holds the executable: the settings file and the alarm
// tune live beside the program, wherever it was copied.
class ProgramDir {
public:
    virtual ~ProgramDir() = default;
    // Empty when the system cannot tell (the program file deleted, no /proc).
    virtual std::filesystem::path path() const = 0;
};

// A file beside the program: the folder, one separator and the name, joined
// as they are, so a program in a root folder gets a doubled separator. No
// folder, no file: never one in the working folder.
inline std::filesystem::path besideProgram(const std::filesystem::path& programDir, std::string_view name)
{
    if (programDir.empty())
        return {};
    std::filesystem::path path = programDir;
    path += std::filesystem::path::preferred_separator;
    path += name;
    return path;
}

}  // namespace zentick::platform
