#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace zentick::platform {

// A path as UTF-8 text, for messages and for C libraries that take UTF-8.
inline std::string utf8(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// What stands at a path in place of a file: reading or replacing it is
// refused, and the message says what is there.
enum class NotAFile { Directory = 1, Fifo, Socket, CharacterDevice, BlockDevice, Other };

}  // namespace zentick::platform

template <> struct std::is_error_code_enum<zentick::platform::NotAFile> : std::true_type {};

namespace zentick::platform {

const std::error_category& notAFileCategory() noexcept;

inline std::error_code make_error_code(NotAFile kind) noexcept
{
    return {static_cast<int>(kind), notAFileCategory()};
}

// The step at which replacing a file failed: opening the new copy, writing
// it, or committing it in place of the old one.
enum class WriteStep { Open, Write, Commit };

struct WriteFailure {
    WriteStep step;
    std::error_code code;
};

// Reading and safely replacing small text files.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // A missing file reports std::errc::no_such_file_or_directory, so that
    // callers can tell it apart from every other failure. Only a regular
    // file is read, and only its first kMaxReadBytes.
    virtual std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path,
                                                         std::error_code& error) = 0;
    // Replaces the file's whole content, or leaves the old file exactly as it
    // was: a power cut at any moment leaves either the old or the new content.
    // A file this user may not write is never replaced.
    virtual std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) = 0;
};

// More than a settings file ever holds; a larger file is read no further.
inline constexpr std::size_t kMaxReadBytes = 64 * 1024;

// The real disk. A file is replaced by writing a copy under a name of its
// own beside it, flushing that to the device and renaming it over the file,
// so two clocks in one folder never meet in their copies. A link is
// followed to the file it names. Where the folder takes no new file but the
// file itself may be written, the file is written in place instead.
class DiskFileSystem final : public FileSystem {
public:
    std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path, std::error_code& error) override;
    std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) override;
};

}  // namespace zentick::platform
