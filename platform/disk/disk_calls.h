#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace zentick::platform {

// What an open file, or a name in a folder, is.
struct FileInfo {
    std::filesystem::file_type type = std::filesystem::file_type::none;
    // Together the file's identity; both 0 where the system gives none (Windows).
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    unsigned mode = 0;     // permission bits, with the set-id and sticky bits
    long long owner = -1;  // -1 where the system has no owners
    long long group = -1;
    std::uint64_t size = 0;
    std::uint64_t links = 1;  // names the file has; 0 for a file not yet named
    std::int64_t modified = 0;  // seconds since the epoch

    bool sameFileAs(const FileInfo& other) const { return device == other.device && inode == other.inode; }
};

// How a file is opened. None of them waits on a FIFO.
enum class OpenAs {
    Read,               // what the path names, links followed by the system under its own rules
    ReadNotFollowing,   // the name itself; a link is refused
    Write,              // an existing file, for writing where it stands; a link is refused
    CreateThroughLink,  // the file a dangling link names, made where the system lets the link be followed
    CreateNew,          // a new name, never one that exists
    CreateUnnamed,      // a file with no name yet, in the folder given; not_supported where the system has none
};

// Whether an exclusive lock was taken without waiting.
enum class Lock { Taken, HeldElsewhere, Unsupported };

// The operating system's file calls that reading, saving and tidying the
// settings file are made of. They only pass each call through; the rules
// live in DiskFileSystem, so that a test can put a simulated disk here and
// cut the power between any two calls.
class DiskCalls {
public:
    using Handle = int;  // -1 for none

    virtual ~DiskCalls() = default;

    virtual Handle open(const std::filesystem::path& path, OpenAs how, unsigned mode, std::error_code& error) = 0;
    virtual bool close(Handle file, std::error_code& error) = 0;
    virtual bool status(Handle file, FileInfo& info, std::error_code& error) = 0;
    // The name itself: a link is described, not followed.
    virtual bool statusOfName(const std::filesystem::path& path, FileInfo& info, std::error_code& error) = 0;
    // Bytes moved, or -1 with the error (which may be `interrupted`).
    virtual long long read(Handle file, char* data, std::size_t size, std::error_code& error) = 0;
    virtual long long write(Handle file, const char* data, std::size_t size, std::error_code& error) = 0;
    virtual bool truncate(Handle file, std::uint64_t size, std::error_code& error) = 0;
    virtual bool sync(Handle file, std::error_code& error) = 0;
    virtual bool syncFolder(const std::filesystem::path& folder, std::error_code& error) = 0;
    virtual Lock lock(Handle file) = 0;
    // The owner, group and permissions of `like`, as far as this user may give them.
    virtual void copyOwnerAndMode(Handle file, const FileInfo& like) = 0;
    // Gives a file made with CreateUnnamed the name `path`, which must not exist.
    virtual bool name(Handle file, const std::filesystem::path& path, std::error_code& error) = 0;
    // Renames `from` to `to`, replacing `to` in one step.
    virtual bool rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) = 0;
    virtual bool remove(const std::filesystem::path& path, std::error_code& error) = 0;
    // A new folder; file_exists when something has that name already.
    virtual bool makeFolder(const std::filesystem::path& path, unsigned mode, std::error_code& error) = 0;
    // The path with every link resolved; the caller checks it names the file it opened.
    virtual std::filesystem::path resolved(const std::filesystem::path& path, std::error_code& error) = 0;
    virtual std::vector<std::filesystem::path> folderEntries(const std::filesystem::path& folder) = 0;
    virtual long long userId() = 0;  // -1 where the system has no owners
    virtual std::int64_t now() = 0;  // seconds since the epoch
};

// This machine's own calls.
std::unique_ptr<DiskCalls> systemDiskCalls();

}  // namespace zentick::platform
