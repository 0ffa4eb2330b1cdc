#pragma once

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
    // callers can tell it apart from every other failure.
    virtual std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path,
                                                         std::error_code& error) = 0;
    // Replaces the file's whole content, or leaves the old file exactly as it
    // was: a power cut at any moment leaves either the old or the new content.
    virtual std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) = 0;
};

// The real disk: writes a temporary file beside the target, flushes it to
// the device and renames it over the target.
class DiskFileSystem final : public FileSystem {
public:
    std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path, std::error_code& error) override;
    std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) override;

    // Where the new content is staged before it replaces `path`.
    static std::filesystem::path stagingPath(const std::filesystem::path& path);
};

}  // namespace zentick::platform
