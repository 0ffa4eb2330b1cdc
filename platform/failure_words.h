#pragma once

// The words the user reads for a failure's cause, in one place, so that a
// cause reads the same wherever it struck.

#include <string>
#include <string_view>
#include <system_error>

namespace zentick::platform {

inline constexpr std::string_view kOutOfMemory = "メモリが不足しています。";
// Before the tune, or the reason, that could not be played.
inline constexpr std::string_view kCannotPlayTune = "曲を演奏できません: ";

// What stands at a path in place of a file: reading or replacing it is
// refused, and the message says what is there.
// Swapped: the name came to stand for another file while it was in use.
enum class NotAFile { Directory = 1, Fifo, Socket, CharacterDevice, BlockDevice, Other, Swapped };

namespace words {

inline constexpr std::string_view kFolderInTheWay = "ファイルの場所にフォルダーがあります";

class NotAFileCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "zentick.not-a-file"; }
    std::string message(int kind) const override
    {
        switch (static_cast<NotAFile>(kind)) {
        case NotAFile::Directory:
            return std::string(kFolderInTheWay);
        case NotAFile::Fifo:
            return "ファイルの場所に名前付きパイプ (FIFO) があります";
        case NotAFile::Socket:
            return "ファイルの場所にソケットがあります";
        case NotAFile::CharacterDevice:
        case NotAFile::BlockDevice:
            return "ファイルの場所にデバイスがあります";
        case NotAFile::Swapped:
            return "ファイルが読み書きの途中で別のものと入れ替わりました";
        case NotAFile::Other:
            break;
        }
        return "ファイルの場所に普通のファイルでないものがあります";
    }
};

}  // namespace words

inline const std::error_category& notAFileCategory() noexcept
{
    static const words::NotAFileCategory category;
    return category;
}

}  // namespace zentick::platform

template <> struct std::is_error_code_enum<zentick::platform::NotAFile> : std::true_type {};

namespace zentick::platform {

inline std::error_code make_error_code(NotAFile kind) noexcept
{
    return {static_cast<int>(kind), notAFileCategory()};
}

enum class FileAccess { Read, Write };

// Why a file could not be read or written, as the user reads it.
inline std::string fileFailureWords(std::error_code error, FileAccess access)
{
    using std::errc;
    if (error.category() == notAFileCategory())
        return error.message();
    if (error == errc::no_such_file_or_directory)
        return "ファイルまたはフォルダーが見つかりません";
    if (error == errc::permission_denied || error == errc::operation_not_permitted)
        return access == FileAccess::Read ? "アクセスが拒否されました（読み取り禁止）"
                                          : "アクセスが拒否されました（書き込み禁止）";
    if (error == errc::device_or_resource_busy)
        return "ほかのプログラムがファイルを使用中です";
    if (error == errc::read_only_file_system)
        return "読み取り専用のドライブです";
    if (error == errc::no_space_on_device)
        return "ディスクの空き容量が足りません";
    if (error == errc::file_too_large)
        return "ファイルが大きすぎて書き込めません";
    if (error == errc::is_a_directory)
        return std::string(words::kFolderInTheWay);
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

}  // namespace zentick::platform
