#include "settings/ini_file.h"

#include "settings/ini_format.h"

namespace zentick::settings {

namespace {

using platform::MessageIcon;
using platform::FileAccess;
using platform::WriteStep;

// A file failure in words, naming the file.
std::string describeFileError(std::error_code error, FileAccess access, const std::filesystem::path& path)
{
    return platform::fileFailureWords(error, access) + ": " + platform::utf8(path);
}

constexpr std::string_view kNoProgramFolder = "プログラムのあるフォルダーがわからないため、設定ファイルを使えません";

// Replaces the file, first making its folder where that is the program's
// to make: an installed program's folder in the user's settings may not be
// there yet, or may have been removed while the clock ran.
std::optional<platform::WriteFailure> replaceIni(const IniEnv& env, const std::filesystem::path& path,
                                                 std::string_view content)
{
    if (env.programDir.makesFolder()) {
        if (const auto error = env.files.makeFolder(env.programDir.path()))
            return platform::WriteFailure{WriteStep::Open, error};
    }
    return env.files.replace(path, content);
}

}  // namespace

std::filesystem::path iniPath(const std::filesystem::path& programDir)
{
    return platform::inProgramDir(programDir, kIniFileName);
}


void readIni(ClockState& state, const IniEnv& env)
{
    // Each failed step gets its own box, and the next step is still tried.
    const auto fail = [&](const std::string& description) {
        env.messages.show(description + " (in readIni)", MessageIcon::Critical);
    };
    if (env.programDir.path().empty()) {
        fail(std::string(kNoProgramFolder));
        applyDefaultSettings(state);
        return;
    }
    const auto path = iniPath(env.programDir.path());
    env.files.removeStaleCopies(path);
    std::error_code error;
    auto in = env.files.openForReading(path, error);
    if (error == std::errc::no_such_file_or_directory) {
        env.messages.show(kCreatingNotice, MessageIcon::None);
        ClockState defaults;
        applyDefaultSettings(defaults);
        if (const auto failure = replaceIni(env, path, formatIniLine(defaults))) {
            // A folder the user may not write to must not stop the clock:
            // run on the defaults and try again at the next start.
            fail(describeFileError(failure->code, FileAccess::Write, path));
            applyDefaultSettings(state);
            return;
        }
        in = env.files.openForReading(path, error);
    }
    if (!in) {
        fail(describeFileError(error, FileAccess::Read, path));
        fail("ファイルが開かれていないため読み込めません: " + platform::utf8(path));
        return;
    }
    if (const auto failure = readIniValues(*in, state))
        fail(*failure + ": " + platform::utf8(path));
}

void saveIni(const ClockState& state, const IniEnv& env)
{
    const auto fail = [&](const std::string& description) {
        env.messages.show(description + " (in saveIni)", MessageIcon::Critical);
    };
    if (env.programDir.path().empty()) {
        fail(std::string(kNoProgramFolder));
        return;
    }
    const auto path = iniPath(env.programDir.path());
    const auto failure = replaceIni(env, path, formatIniLine(state));
    if (!failure)
        return;
    if (failure->mayBeDamaged)
        fail(platform::fileFailureWords(failure->code, FileAccess::Write) + "。書き換えの途中だったため、ファイルが壊れているおそれがあります: "
             + platform::utf8(path));
    else
        fail(describeFileError(failure->code, FileAccess::Write, path));
    if (failure->step == WriteStep::Open)
        fail("ファイルが開かれていないため書き込めません: " + platform::utf8(path));
}

}  // namespace zentick::settings
