#include "platform/file_system.h"

#include <cerrno>
#include <random>
#include <sstream>
#include <utility>

#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

std::error_code lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// The C library's file calls, the same on both platforms.
#ifdef _WIN32
using Stat = struct _stat64;
int openFile(const fs::path& path, int flags, int mode = 0)
{
    int fd = -1;
    return _wsopen_s(&fd, path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, mode) == 0 ? fd : -1;
}
constexpr int kReadOnly = _O_RDONLY;
constexpr int kWriteOnly = _O_WRONLY;
constexpr int kCreateNew = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kNewFileMode = _S_IREAD | _S_IWRITE;
int statOpen(int fd, Stat& status) { return _fstat64(fd, &status); }
int closeFile(int fd) { return _close(fd); }
long long writeSome(int fd, const char* data, std::size_t size)
{
    return _write(fd, data, static_cast<unsigned>(size));
}
long long readSome(int fd, char* data, std::size_t size) { return _read(fd, data, static_cast<unsigned>(size)); }
bool syncFile(int fd) { return _commit(fd) == 0; }
bool truncateFile(int fd, std::size_t size) { return _chsize_s(fd, static_cast<long long>(size)) == 0; }
bool isRegular(const Stat& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
bool mayWrite(const fs::path& path) { return _waccess(path.c_str(), 2) == 0; }
#else
using Stat = struct stat;
int openFile(const fs::path& path, int flags, int mode = 0)
{
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}
// Non-blocking, so that opening a FIFO with no writer returns at once.
constexpr int kReadOnly = O_RDONLY | O_NONBLOCK;
constexpr int kWriteOnly = O_WRONLY | O_NONBLOCK;
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kNewFileMode = 0666;  // less the user's umask, as any new file
int statOpen(int fd, Stat& status) { return ::fstat(fd, &status); }
int closeFile(int fd) { return ::close(fd); }
long long writeSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
long long readSome(int fd, char* data, std::size_t size) { return ::read(fd, data, size); }
bool syncFile(int fd) { return ::fsync(fd) == 0; }
bool truncateFile(int fd, std::size_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool isRegular(const Stat& status) { return S_ISREG(status.st_mode); }
bool mayWrite(const fs::path& path) { return ::access(path.c_str(), W_OK) == 0; }
#endif

// Closes on every way out; close() reports what the final close says.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle()
    {
        if (m_fd >= 0)
            closeFile(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    bool close() { return closeFile(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

std::error_code notAFile(const fs::file_status& status)
{
    switch (status.type()) {
    case fs::file_type::directory:
        return NotAFile::Directory;
    case fs::file_type::fifo:
        return NotAFile::Fifo;
    case fs::file_type::socket:
        return NotAFile::Socket;
    case fs::file_type::character:
        return NotAFile::CharacterDevice;
    case fs::file_type::block:
        return NotAFile::BlockDevice;
    default:
        return NotAFile::Other;
    }
}

// The file a path names once links are followed. A link that points
// nowhere names the file it would create.
fs::path followLinks(const fs::path& path, std::error_code& error)
{
    fs::path target = path;
    for (int hops = 0; hops < 40; ++hops) {
        const auto status = fs::symlink_status(target, error);
        if (error || !fs::is_symlink(status)) {
            if (error == std::errc::no_such_file_or_directory)
                error.clear();
            return target;
        }
        const fs::path next = fs::read_symlink(target, error);
        if (error)
            return target;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return target;
}

std::optional<std::error_code> writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        errno = 0;
        const auto written = writeSome(fd, content.data(), content.size());
        if (written <= 0)
            return lastError();
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    errno = 0;
    if (!syncFile(fd))
        return lastError();
    return std::nullopt;
}

// A name beside `target` that no other save uses: a clock's copy is its own.
fs::path stagingName(const fs::path& target, std::mt19937_64& random)
{
    fs::path staging = target;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string suffix = ".";
    for (auto bits = random(), i = decltype(bits){0}; i < 8; ++i, bits >>= 4)
        suffix += kHex[bits & 15];
    staging += suffix + ".tmp";
    return staging;
}

// Writes the content into a new file beside `target`; empty when none could be made.
std::optional<WriteFailure> writeStaged(const fs::path& target, std::string_view content,
                                        const std::optional<Stat>& old, fs::path& staging)
{
    std::random_device seed;
    std::mt19937_64 random((std::uint64_t{seed()} << 32) ^ seed());
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        staging = stagingName(target, random);
        errno = 0;
        fd = openFile(staging, kCreateNew, kNewFileMode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    FileHandle file(fd);
    if (!file) {
        staging.clear();
        return WriteFailure{WriteStep::Open, lastError()};
    }
#ifndef _WIN32
    if (old) {
        // The user's choice of permissions, and of owner where this user may give it.
        ::fchmod(file.get(), old->st_mode & 07777);
        [[maybe_unused]] const int owned = ::fchown(file.get(), old->st_uid, old->st_gid);
    }
#else
    (void)old;
#endif
    if (const auto error = writeAll(file.get(), content))
        return WriteFailure{WriteStep::Write, *error};
    errno = 0;
    if (!file.close())
        return WriteFailure{WriteStep::Write, lastError()};
    return std::nullopt;
}

// For a file that may be written in a folder that takes no new file:
// overwritten where it stands, then cut to length and flushed.
std::optional<WriteFailure> writeInPlace(const fs::path& target, std::string_view content)
{
    errno = 0;
    FileHandle file(openFile(target, kWriteOnly));
    if (!file)
        return WriteFailure{WriteStep::Open, lastError()};
    if (const auto error = writeAll(file.get(), content))
        return WriteFailure{WriteStep::Write, *error};
    errno = 0;
    if (!truncateFile(file.get(), content.size()) || !syncFile(file.get()) || !file.close())
        return WriteFailure{WriteStep::Write, lastError()};
    return std::nullopt;
}

// Makes the rename itself survive a power cut. Best effort: the new content
// is already safe on the device, and not every file system allows this.
void syncDirectory([[maybe_unused]] const fs::path& directory)
{
#ifndef _WIN32
    FileHandle folder(::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
#endif
}

class NotAFileCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "zentick.not-a-file"; }
    std::string message(int kind) const override
    {
        switch (static_cast<NotAFile>(kind)) {
        case NotAFile::Directory:
            return "ファイルの場所にフォルダーがあります";
        case NotAFile::Fifo:
            return "ファイルの場所に名前付きパイプ (FIFO) があります";
        case NotAFile::Socket:
            return "ファイルの場所にソケットがあります";
        case NotAFile::CharacterDevice:
        case NotAFile::BlockDevice:
            return "ファイルの場所にデバイスがあります";
        case NotAFile::Other:
            break;
        }
        return "ファイルの場所に普通のファイルでないものがあります";
    }
};

}  // namespace

const std::error_category& notAFileCategory() noexcept
{
    static const NotAFileCategory category;
    return category;
}

std::unique_ptr<std::istream> DiskFileSystem::openForReading(const fs::path& path, std::error_code& error)
{
    error.clear();
    // A folder cannot be opened as a file on every platform; say what it is.
    const auto status = fs::status(path, error);
    if (error)
        return nullptr;
    if (!fs::is_regular_file(status)) {
        error = notAFile(status);
        return nullptr;
    }
    errno = 0;
    FileHandle file(openFile(path, kReadOnly));
    Stat opened{};
    if (!file || statOpen(file.get(), opened) != 0) {
        error = lastError();
        return nullptr;
    }
    if (!isRegular(opened)) {  // swapped after the look above
        error = NotAFile::Other;
        return nullptr;
    }
    std::string content(kMaxReadBytes, '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        errno = 0;
        const auto n = readSome(file.get(), content.data() + got, content.size() - got);
        if (n < 0) {
            error = lastError();
            return nullptr;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    return std::make_unique<std::istringstream>(std::move(content));
}

std::optional<WriteFailure> DiskFileSystem::replace(const fs::path& path, std::string_view content)
{
    std::error_code error;
    const fs::path target = followLinks(path, error);
    if (error)
        return WriteFailure{WriteStep::Open, error};

    std::optional<Stat> old;
    const auto status = fs::status(target, error);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            return WriteFailure{WriteStep::Open, notAFile(status)};
        // Root may write anything; a file without a single write permission
        // bit was still made read-only on purpose, and stays so.
        errno = 0;
        if (!mayWrite(target))
            return WriteFailure{WriteStep::Open, lastError()};
        if ((status.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write))
            == fs::perms::none)
            return WriteFailure{WriteStep::Open, std::make_error_code(std::errc::permission_denied)};
        Stat stat{};
        FileHandle file(openFile(target, kReadOnly));
        if (file && statOpen(file.get(), stat) == 0)
            old = stat;
    }

    fs::path staging;
    if (auto failure = writeStaged(target, content, old, staging)) {
        if (!staging.empty())
            fs::remove(staging, error);
        const bool folderRefused = failure->step == WriteStep::Open
            && (failure->code == std::errc::permission_denied || failure->code == std::errc::operation_not_permitted);
        if (old && folderRefused)
            return writeInPlace(target, content);
        return failure;
    }
    std::error_code renameError;
    fs::rename(staging, target, renameError);
#ifdef _WIN32
    // Windows refuses to replace a file for as long as another process has
    // it open or is replacing it too: a moment, for another clock's save.
    for (int retry = 0; renameError && retry < 20; ++retry) {
        Sleep(10);
        fs::rename(staging, target, renameError);
    }
#endif
    if (renameError) {
        fs::remove(staging, error);
        return WriteFailure{WriteStep::Commit, renameError};
    }
    syncDirectory(target.parent_path());
    return std::nullopt;
}

}  // namespace zentick::platform
