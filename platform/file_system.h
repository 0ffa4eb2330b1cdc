#pragma once

#include "platform/disk_calls.h"

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
// Swapped: the name came to stand for another file while it was in use.
enum class NotAFile { Directory = 1, Fifo, Socket, CharacterDevice, BlockDevice, Other, Swapped };

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
};

// More than a settings file ever holds; a larger file is read no further.
inline constexpr std::size_t kMaxReadBytes = 64 * 1024;

// The real disk, through the system's own calls.
//
// A file is replaced by a copy written beside it, flushed to the device and
// renamed over it, so a power cut at any moment leaves the old or the new
// content, and once replace() returns the new content survives one. The
// copy has no name until that rename where the system allows (Linux); where
// it must be named, a copy left by a killed save is removed by
// removeStaleCopies(). It is made with no more permission than the file it
// replaces, and takes that file's owner, group and mode as far as this user
// may give them.
//
// Links are followed by the system under its own rules: a link the system
// refuses to follow (another user's link in a shared, sticky folder) is
// refused for writing too.
//
// Where the folder takes no new file but the file itself may be written, it
// is written in place: the new content padded with blanks to the old length,
// flushed, then cut to size, so a reader that takes trailing blanks as
// nothing finds the old or the new content, unless the power fails during
// that one write.
class DiskFileSystem final : public FileSystem {
public:
    DiskFileSystem();
    explicit DiskFileSystem(DiskCalls& calls) : m_calls(calls) {}

    std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path, std::error_code& error) override;
    std::optional<WriteFailure> replace(const std::filesystem::path& path, std::string_view content) override;
    void removeStaleCopies(const std::filesystem::path& path) override;

private:
    std::unique_ptr<DiskCalls> m_own;
    DiskCalls& m_calls;
};

}  // namespace zentick::platform
