#pragma once

#include "platform/disk/disk_calls.h"
#include "platform/file_system.h"

#include <memory>

namespace zentick::platform {

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
    std::error_code makeFolder(const std::filesystem::path& folder) override;

private:
    std::unique_ptr<DiskCalls> m_own;
    DiskCalls& m_calls;
};

}  // namespace zentick::platform
