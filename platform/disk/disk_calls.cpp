#include "platform/disk/disk_calls.h"

#include <cerrno>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <chrono>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

std::error_code errnoCode(int value = errno)
{
    return {value != 0 ? value : EIO, std::generic_category()};
}

// A C library call's success, with its errno as the error when it failed.
bool succeeded(bool done, std::error_code& error)
{
    if (!done)
        error = errnoCode();
    return done;
}

// The calls every system spells alike.
class CommonCalls : public DiskCalls {
public:
    fs::path resolved(const fs::path& path, std::error_code& error) override { return fs::canonical(path, error); }

    std::vector<fs::path> folderEntries(const fs::path& folder) override
    {
        std::vector<fs::path> entries;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path());
        return entries;
    }

    std::int64_t now() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

#ifdef _WIN32

fs::file_type typeOf(unsigned short mode)
{
    switch (mode & _S_IFMT) {
    case _S_IFREG:
        return fs::file_type::regular;
    case _S_IFDIR:
        return fs::file_type::directory;
    case _S_IFCHR:
        return fs::file_type::character;
    case _S_IFIFO:
        return fs::file_type::fifo;
    default:
        return fs::file_type::unknown;
    }
}

// The C library fills in no identity for an open file, so none is compared.
FileInfo infoOf(const struct _stat64& status)
{
    FileInfo info;
    info.type = typeOf(status.st_mode);
    info.mode = status.st_mode & 0777;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.links = static_cast<std::uint64_t>(status.st_nlink);
    info.modified = static_cast<std::int64_t>(status.st_mtime);
    return info;
}

// Sharing violations and access denial have their own words; the rest
// keeps the system's number.
std::error_code windowsError(DWORD code)
{
    switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_ACCESS_DENIED:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    case ERROR_FILENAME_EXCED_RANGE:
        return std::make_error_code(std::errc::filename_too_long);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_WRITE_PROTECT:
        return std::make_error_code(std::errc::read_only_file_system);
    default:
        return {static_cast<int>(code), std::system_category()};
    }
}

class WindowsCalls final : public CommonCalls {
public:
    // Opened by the system itself, so that its own error codes survive, and
    // shared for deleting too: a file this clock holds open never stops
    // another clock's save from replacing it.
    Handle open(const fs::path& path, OpenAs how, unsigned mode, std::error_code& error) override
    {
        DWORD access = GENERIC_WRITE;
        DWORD disposition = OPEN_EXISTING;
        DWORD flags = FILE_ATTRIBUTE_NORMAL;
        int crtFlags = _O_BINARY | _O_WRONLY;
        switch (how) {
        case OpenAs::Read:
        case OpenAs::ReadNotFollowing:
            access = GENERIC_READ;
            crtFlags = _O_BINARY | _O_RDONLY;
            break;
        case OpenAs::Write:
            break;
        case OpenAs::CreateThroughLink:
            disposition = OPEN_ALWAYS;
            break;
        case OpenAs::CreateNew:
            disposition = CREATE_NEW;
            if ((mode & 0200) == 0)
                flags = FILE_ATTRIBUTE_READONLY;
            break;
        case OpenAs::CreateUnnamed:
            error = std::make_error_code(std::errc::not_supported);
            return -1;
        }
        HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  disposition, flags, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            // A path past the old length limit is "not found" to the system.
            const DWORD code = GetLastError();
            const bool tooLong = (code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND)
                && path.native().size() >= MAX_PATH;
            error = windowsError(tooLong ? ERROR_FILENAME_EXCED_RANGE : code);
            return -1;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), crtFlags);
        if (fd < 0) {
            error = errnoCode();
            CloseHandle(file);
        }
        return fd;
    }
    bool close(Handle file, std::error_code& error) override
    {
        return succeeded(_close(file) == 0, error);
    }
    bool status(Handle file, FileInfo& info, std::error_code& error) override
    {
        struct _stat64 status {};
        if (_fstat64(file, &status) != 0) {
            error = errnoCode();
            return false;
        }
        info = infoOf(status);
        return true;
    }
    bool statusOfName(const fs::path& path, FileInfo& info, std::error_code& error) override
    {
        struct _stat64 status {};
        if (_wstat64(path.c_str(), &status) != 0) {
            error = errnoCode();
            return false;
        }
        info = infoOf(status);
        return true;
    }
    long long read(Handle file, char* data, std::size_t size, std::error_code& error) override
    {
        const int n = _read(file, data, static_cast<unsigned>(size));
        if (n < 0)
            error = errnoCode();
        return n;
    }
    long long write(Handle file, const char* data, std::size_t size, std::error_code& error) override
    {
        const int n = _write(file, data, static_cast<unsigned>(size));
        if (n < 0)
            error = errnoCode();
        return n;
    }
    bool truncate(Handle file, std::uint64_t size, std::error_code& error) override
    {
        const int failed = _chsize_s(file, static_cast<long long>(size));
        if (failed != 0)
            error = errnoCode(failed);
        return failed == 0;
    }
    bool sync(Handle file, std::error_code& error) override
    {
        return succeeded(_commit(file) == 0, error);
    }
    // A rename with MOVEFILE_WRITE_THROUGH is on the device when it returns.
    bool syncFolder(const fs::path&, std::error_code&) override { return true; }
    Lock lock(Handle) override { return Lock::Unsupported; }
    void copyOwnerAndMode(Handle, const FileInfo&) override {}
    bool name(Handle, const fs::path&, std::error_code& error) override
    {
        error = std::make_error_code(std::errc::not_supported);
        return false;
    }
    // Another program reading the file (a virus scanner, a backup, another
    // clock's save) holds it for a moment: that, and only that, is retried.
    bool rename(const fs::path& from, const fs::path& to, std::error_code& error) override
    {
        using namespace std::chrono;
        const auto giveUp = steady_clock::now() + milliseconds(200);
        for (;;) {
            if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            const DWORD code = GetLastError();
            const bool passes = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                || code == ERROR_ACCESS_DENIED;
            if (!passes || steady_clock::now() >= giveUp) {
                error = windowsError(code == ERROR_ACCESS_DENIED && heldElsewhere(to) ? ERROR_SHARING_VIOLATION : code);
                return false;
            }
            Sleep(5);
        }
    }
    // Replacing a file another program holds open without sharing its
    // deletion is refused as "access denied"; asking for that sharing
    // tells the two apart.
    static bool heldElsewhere(const fs::path& path)
    {
        HANDLE file = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return false;
        }
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    bool remove(const fs::path& path, std::error_code& error) override
    {
        if (DeleteFileW(path.c_str()))
            return true;
        error = windowsError(GetLastError());
        return false;
    }
    // A folder takes its permissions from the folder it is in.
    bool makeFolder(const fs::path& path, unsigned, std::error_code& error) override
    {
        if (CreateDirectoryW(path.c_str(), nullptr))
            return true;
        error = windowsError(GetLastError());
        return false;
    }
    long long userId() override { return -1; }
};

#else

fs::file_type typeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return fs::file_type::regular;
    if (S_ISDIR(mode))
        return fs::file_type::directory;
    if (S_ISFIFO(mode))
        return fs::file_type::fifo;
    if (S_ISSOCK(mode))
        return fs::file_type::socket;
    if (S_ISCHR(mode))
        return fs::file_type::character;
    if (S_ISBLK(mode))
        return fs::file_type::block;
    if (S_ISLNK(mode))
        return fs::file_type::symlink;
    return fs::file_type::unknown;
}

FileInfo infoOf(const struct stat& status)
{
    FileInfo info;
    info.type = typeOf(status.st_mode);
    info.device = static_cast<std::uint64_t>(status.st_dev);
    info.inode = static_cast<std::uint64_t>(status.st_ino);
    info.mode = status.st_mode & 07777;
    info.owner = status.st_uid;
    info.group = status.st_gid;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.links = static_cast<std::uint64_t>(status.st_nlink);
    info.modified = static_cast<std::int64_t>(status.st_mtime);
    return info;
}

class PosixCalls final : public CommonCalls {
public:
    Handle open(const fs::path& path, OpenAs how, unsigned mode, std::error_code& error) override
    {
        int flags = O_CLOEXEC;
        switch (how) {
        case OpenAs::Read:
            flags |= O_RDONLY | O_NONBLOCK;
            break;
        case OpenAs::ReadNotFollowing:
            flags |= O_RDONLY | O_NONBLOCK | O_NOFOLLOW;
            break;
        case OpenAs::Write:
            flags |= O_WRONLY | O_NONBLOCK | O_NOFOLLOW;
            break;
        case OpenAs::CreateThroughLink:
            flags |= O_WRONLY | O_NONBLOCK | O_CREAT;
            break;
        case OpenAs::CreateNew:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
        case OpenAs::CreateUnnamed:
#ifdef O_TMPFILE
            // Naming it later goes through /proc.
            if (::access("/proc/self/fd", X_OK) == 0) {
                const int fd = ::open(path.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
                if (fd >= 0)
                    return fd;
                if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
                    error = errnoCode();
                    return -1;
                }
            }
#endif
            error = std::make_error_code(std::errc::not_supported);
            return -1;
        }
        const int fd = ::open(path.c_str(), flags, mode);
        if (fd < 0)
            error = errnoCode();
        return fd;
    }
    bool close(Handle file, std::error_code& error) override
    {
        return succeeded(::close(file) == 0, error);
    }
    bool status(Handle file, FileInfo& info, std::error_code& error) override
    {
        struct stat status {};
        if (::fstat(file, &status) != 0) {
            error = errnoCode();
            return false;
        }
        info = infoOf(status);
        return true;
    }
    bool statusOfName(const fs::path& path, FileInfo& info, std::error_code& error) override
    {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            error = errnoCode();
            return false;
        }
        info = infoOf(status);
        return true;
    }
    long long read(Handle file, char* data, std::size_t size, std::error_code& error) override
    {
        const auto n = ::read(file, data, size);
        if (n < 0)
            error = errnoCode();
        return n;
    }
    long long write(Handle file, const char* data, std::size_t size, std::error_code& error) override
    {
        const auto n = ::write(file, data, size);
        if (n < 0)
            error = errnoCode();
        return n;
    }
    bool truncate(Handle file, std::uint64_t size, std::error_code& error) override
    {
        return succeeded(::ftruncate(file, static_cast<off_t>(size)) == 0, error);
    }
    bool sync(Handle file, std::error_code& error) override
    {
        return succeeded(::fsync(file) == 0, error);
    }
    bool syncFolder(const fs::path& folder, std::error_code& error) override
    {
        const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        if (!synced)
            error = errnoCode();
        if (fd >= 0)
            ::close(fd);
        return synced;
    }
    Lock lock(Handle file) override
    {
        if (::flock(file, LOCK_EX | LOCK_NB) == 0)
            return Lock::Taken;
        return errno == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Unsupported;
    }
    void copyOwnerAndMode(Handle file, const FileInfo& like) override
    {
        // Only root may give a file away; a member of its group may still
        // keep the group. Changing owners clears the set-id bits, so the
        // mode comes last.
        if (::fchown(file, static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0)
            [[maybe_unused]] const int kept = ::fchown(file, static_cast<uid_t>(-1), static_cast<gid_t>(like.group));
        ::fchmod(file, static_cast<mode_t>(like.mode & 07777));
    }
    bool name(Handle file, const fs::path& path, std::error_code& error) override
    {
        const std::string self = "/proc/self/fd/" + std::to_string(file);
        return succeeded(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0, error);
    }
    bool rename(const fs::path& from, const fs::path& to, std::error_code& error) override
    {
        return succeeded(::rename(from.c_str(), to.c_str()) == 0, error);
    }
    bool remove(const fs::path& path, std::error_code& error) override
    {
        return succeeded(::unlink(path.c_str()) == 0, error);
    }
    bool makeFolder(const fs::path& path, unsigned mode, std::error_code& error) override
    {
        return succeeded(::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0, error);
    }
    long long userId() override { return static_cast<long long>(::geteuid()); }
};

#endif

}  // namespace

std::unique_ptr<DiskCalls> systemDiskCalls()
{
#ifdef _WIN32
    return std::make_unique<WindowsCalls>();
#else
    return std::make_unique<PosixCalls>();
#endif
}

}  // namespace zentick::platform
