#include "settings/ini_file.h"

#include "settings/ini_format.h"

namespace zentick::settings {

namespace {

using platform::MessageIcon;
using platform::WriteStep;

enum class Access { Read, Write };

std::string reason(std::error_code error, Access access)
{
    using std::errc;
    if (error.category() == platform::notAFileCategory())
        return error.message();
    if (error == errc::no_such_file_or_directory)
        return "ファイルまたはフォルダーが見つかりません";
    if (error == errc::permission_denied || error == errc::operation_not_permitted)
        return access == Access::Read ? "アクセスが拒否されました（読み取り禁止）" : "アクセスが拒否されました（書き込み禁止）";
    if (error == errc::device_or_resource_busy)
        return "ほかのプログラムがファイルを使用中です";
    if (error == errc::read_only_file_system)
        return "読み取り専用のドライブです";
    if (error == errc::no_space_on_device)
        return "ディスクの空き容量が足りません";
    if (error == errc::file_too_large)
        return "ファイルが大きすぎて書き込めません";
    if (error == errc::is_a_directory)
        return "ファイルの場所にフォルダーがあります";
    if (error == errc::not_a_directory)
        return "パスの途中にフォルダーでないものがあります";
    if (error == errc::filename_too_long)
        return "ファイル名が長すぎます";
    if (error == errc::too_many_files_open || error == errc::too_many_files_open_in_system)
        return "開いているファイルが多すぎます";
    if (error == errc::io_error)
        return "ディスクの読み書きでエラーが発生しました";
    return "ファイルを扱えません（エラー番号 " + std::to_string(error.value()) + "）";
}

// A file failure in words, naming the file.
std::string describeFileError(std::error_code error, Access access, const std::filesystem::path& path)
{
    return reason(error, access) + ": " + platform::utf8(path);
}

constexpr std::string_view kNoProgramFolder = "プログラムのあるフォルダーがわからないため、設定ファイルを使えません";

}  // namespace

std::filesystem::path iniPath(const std::filesystem::path& programDir)
{
    return platform::besideProgram(programDir, kIniFileName);
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
        if (const auto failure = env.files.replace(path, formatIniLine(defaults))) {
            // A folder the user may not write to must not stop the clock:
            // run on the defaults and try again at the next start.
            fail(describeFileError(failure->code, Access::Write, path));
            applyDefaultSettings(state);
            return;
        }
        in = env.files.openForReading(path, error);
    }
    if (!in) {
        fail(describeFileError(error, Access::Read, path));
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
    const auto failure = env.files.replace(path, formatIniLine(state));
    if (!failure)
        return;
    if (failure->mayBeDamaged)
        fail(reason(failure->code, Access::Write) + "。書き換えの途中だったため、ファイルが壊れているおそれがあります: "
             + platform::utf8(path));
    else
        fail(describeFileError(failure->code, Access::Write, path));
    if (failure->step == WriteStep::Open)
        fail("ファイルが開かれていないため書き込めません: " + platform::utf8(path));
}

}  // namespace zentick::settings
