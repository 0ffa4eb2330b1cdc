#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

std::error_code lastError(std::errc fallback)
{
    return errno != 0 ? std::error_code(errno, std::generic_category()) : std::make_error_code(fallback);
}

bool syncToDevice(std::FILE* file)
{
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(::fileno(file)) == 0;
#endif
}

// Makes the rename itself survive a power cut. Best effort: the new content
// is already safe on the device, and not every file system allows this.
void syncDirectory([[maybe_unused]] const fs::path& directory)
{
#ifndef _WIN32
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::optional<WriteFailure> writeStaged(const fs::path& staging, std::string_view content)
{
    errno = 0;
#ifdef _WIN32
    FilePtr file(_wfopen(staging.c_str(), L"wb"));
#else
    FilePtr file(std::fopen(staging.c_str(), "wb"));
#endif
    if (!file)
        return WriteFailure{WriteStep::Open, lastError(std::errc::io_error)};
    errno = 0;
    if (std::fwrite(content.data(), 1, content.size(), file.get()) != content.size() || std::fflush(file.get()) != 0
        || !syncToDevice(file.get()))
        return WriteFailure{WriteStep::Write, lastError(std::errc::io_error)};
    errno = 0;
    if (std::fclose(file.release()) != 0)
        return WriteFailure{WriteStep::Write, lastError(std::errc::io_error)};
    return std::nullopt;
}

}  // namespace

fs::path DiskFileSystem::stagingPath(const fs::path& path)
{
    fs::path staging = path;
    staging += ".tmp";
    return staging;
}

std::unique_ptr<std::istream> DiskFileSystem::openForReading(const fs::path& path, std::error_code& error)
{
    error.clear();
    const auto status = fs::status(path, error);
    if (error)
        return nullptr;
    if (fs::is_directory(status)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return nullptr;
    }
    errno = 0;
    auto stream = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!stream->is_open()) {
        error = lastError(std::errc::io_error);
        return nullptr;
    }
    return stream;
}

std::optional<WriteFailure> DiskFileSystem::replace(const fs::path& path, std::string_view content)
{
    std::error_code error;
    const auto old = fs::status(path, error);
    const bool exists = fs::exists(old);
    if (fs::is_directory(old))
        return WriteFailure{WriteStep::Open, std::make_error_code(std::errc::is_a_directory)};
    // A file the user made read-only stays as it is, even though the rename
    // below would get past that (and root gets past everything).
    if (exists && (old.permissions() & fs::perms::owner_write) == fs::perms::none)
        return WriteFailure{WriteStep::Open, std::make_error_code(std::errc::permission_denied)};

    const fs::path staging = stagingPath(path);
    if (auto failure = writeStaged(staging, content)) {
        // Whatever stands at the staging path is ours only if we opened it.
        if (failure->step != WriteStep::Open)
            fs::remove(staging, error);
        return failure;
    }
    if (exists)
        fs::permissions(staging, old.permissions(), error);  // keep the user's choice of permissions
    std::error_code renameError;
    fs::rename(staging, path, renameError);
    if (renameError) {
        fs::remove(staging, error);
        return WriteFailure{WriteStep::Commit, renameError};
    }
    syncDirectory(path.parent_path());
    return std::nullopt;
}

}  // namespace zentick::platform
