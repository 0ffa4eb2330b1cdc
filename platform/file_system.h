#pragma once

#include "platform/failure_words.h"

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

// The step at which replacing a file failed: opening the new copy, writing
// it, or committing it in place of the old one.
enum class WriteStep { Open, Write, Commit };

struct WriteFailure {
    WriteStep step;
    std::error_code code;
    // The file itself had begun to change: it may hold neither content whole.
    bool mayBeDamaged = false;
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
    // Replaces the file's whole content. A failure that is not mayBeDamaged
    // leaves the old file exactly as it was. A file this user may not write
    // is never replaced.
    virtual std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) = 0;
    // Removes what earlier saves of `path` left behind when they were cut
    // short, and nothing else.
    virtual void removeStaleCopies(const std::filesystem::path& path) = 0;
    // Makes `folder`, and each folder above it that is missing, open to this
    // user alone, as the desktop's rules ask of a user's own folders. A
    // folder already there is left as it is.
    virtual std::error_code makeFolder(const std::filesystem::path& folder) = 0;
};

// More than a settings file ever holds; a larger file is read no further.
inline constexpr std::size_t kMaxReadBytes = 64 * 1024;

}  // namespace zentick::platform
