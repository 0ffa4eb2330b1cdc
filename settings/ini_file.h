#pragma once

#include "core/clock_state.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/program_dir.h"

#include <filesystem>
#include <string_view>

namespace zentick::settings {

inline constexpr std::string_view kIniFileName = "Zentick.ini";
inline constexpr std::string_view kCreatingNotice = "設定ﾌｧｲﾙを作成します";

struct IniEnv {
    platform::FileSystem& files;
    const platform::ProgramDir& programDir;
    platform::MessageBox& messages;
};

// Where the settings live: in the program's folder (platform::ProgramDir).
std::filesystem::path iniPath(const std::filesystem::path& programDir);

// Fills the four settings from the file, creating it with the defaults when
// it is missing (and the folder too, where the program makes its folder),
// after tidying away copies that saves cut short left beside it. Every
// failure is shown to the user, and the program runs on.
void readIni(ClockState& state, const IniEnv& env);

// Writes the four settings. On failure the user is told, and whether the
// file kept its old content.
void saveIni(const ClockState& state, const IniEnv& env);

}  // namespace zentick::settings
