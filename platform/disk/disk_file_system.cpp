#include "platform/disk/disk_file_system.h"

#include <algorithm>
#include <random>
#include <sstream>
#include <utility>

namespace zentick::platform {

namespace fs = std::filesystem;

namespace {

using Handle = DiskCalls::Handle;

// Permission for a new file, less the user's umask as any new file.
constexpr unsigned kNewFileMode = 0666;
// A user's own folder for settings: no one else's to read.
constexpr unsigned kNewFolderMode = 0700;
// A copy from a save that could not lock it is taken as abandoned after this.
constexpr std::int64_t kAbandonedAfterSeconds = 60;
constexpr std::size_t kCopyNameDigits = 8;
constexpr std::string_view kCopySuffix = ".tmp";

// Closes on every way out.
class OpenFile {
public:
    OpenFile(DiskCalls& calls, Handle handle) : m_calls(&calls), m_handle(handle) {}
    ~OpenFile()
    {
        std::error_code ignored;
        if (m_handle >= 0)
            m_calls->close(m_handle, ignored);
    }
    OpenFile(OpenFile&& other) noexcept
        : m_calls(other.m_calls), m_handle(std::exchange(other.m_handle, -1))
    {
    }
    OpenFile& operator=(OpenFile&& other) noexcept
    {
        std::swap(m_calls, other.m_calls);
        std::swap(m_handle, other.m_handle);
        return *this;
    }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle >= 0; }
    // What the final close reports: on some file systems the last word on a write.
    bool close(std::error_code& error) { return m_calls->close(std::exchange(m_handle, -1), error); }

private:
    DiskCalls* m_calls;
    Handle m_handle;
};

std::error_code notAFile(fs::file_type type)
{
    switch (type) {
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

// The folder a file is in: a bare name is in the working folder.
fs::path folderOf(const fs::path& file)
{
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

std::error_code orIoError(std::error_code error)
{
    return error ? error : std::make_error_code(std::errc::io_error);
}

WriteFailure openFailure(std::error_code error)
{
    return {WriteStep::Open, orIoError(error)};
}

// Not every system opens a folder as a file; when opening fails, say what
// stands there instead.
std::error_code refusalAt(const fs::path& path, std::error_code error)
{
    std::error_code ignored;
    const auto status = fs::status(path, ignored);
    return fs::exists(status) && !fs::is_regular_file(status) ? notAFile(status.type()) : error;
}

// Writes all of `content`, counting what reached the file so that a failure
// can tell whether the file changed.
std::optional<std::error_code> writeAll(DiskCalls& calls, Handle file, std::string_view content, std::size_t& written)
{
    written = 0;
    while (written < content.size()) {
        std::error_code error;
        const auto n = calls.write(file, content.data() + written, content.size() - written, error);
        if (n < 0 && error == std::errc::interrupted)
            continue;
        if (n <= 0)
            return orIoError(error);
        written += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

// "<file name>.<eight hex digits>.tmp": a name no other save uses, so two
// clocks in one folder never meet in their copies.
fs::path copyName(const fs::path& target, std::mt19937_64& random)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string suffix = ".";
    for (auto bits = random(), i = decltype(bits){0}; i < kCopyNameDigits; ++i, bits >>= 4)
        suffix += kHex[bits & 15];
    fs::path name = target;
    name += suffix + std::string(kCopySuffix);
    return name;
}

bool isCopyName(const fs::path& name, const fs::path& target)
{
    const auto text = name.filename().native();
    const auto base = target.filename().native();
    const std::size_t dot = base.size();
    if (text.size() != dot + 1 + kCopyNameDigits + kCopySuffix.size() || text.compare(0, dot, base) != 0
        || text[dot] != '.')
        return false;
    for (std::size_t i = dot + 1; i < dot + 1 + kCopyNameDigits; ++i) {
        const auto c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return std::equal(kCopySuffix.begin(), kCopySuffix.end(), text.end() - static_cast<std::ptrdiff_t>(kCopySuffix.size()));
}

// The file a save replaces, as the system opened it through the path.
struct Examined {
    fs::path target;              // its own name, links resolved
    std::optional<FileInfo> old;  // none for a file not there yet
};

// Opens the file a save examined for writing, refusing any other file.
OpenFile openExamined(DiskCalls& calls, const fs::path& target, const FileInfo& old, std::error_code& error)
{
    OpenFile file(calls, calls.open(target, OpenAs::Write, 0, error));
    FileInfo named;
    if (file && !calls.status(file.get(), named, error))
        return OpenFile(calls, -1);
    if (file && !named.sameFileAs(old)) {
        error = NotAFile::Swapped;
        return OpenFile(calls, -1);
    }
    return file;
}

std::optional<WriteFailure> examine(DiskCalls& calls, const fs::path& path, Examined& examined)
{
    std::error_code error;
    OpenFile existing(calls, calls.open(path, OpenAs::Read, 0, error));
    if (!existing) {
        if (error != std::errc::no_such_file_or_directory)
            return openFailure(refusalAt(path, error));
        FileInfo name;
        std::error_code ignored;
        if (!calls.statusOfName(path, name, ignored) || name.type != fs::file_type::symlink)
            return std::nullopt;  // a new file
        // A link to a file not made yet: the system makes it where it lets
        // the link be followed, and the save goes on as for any file.
        error.clear();
        existing = OpenFile(calls, calls.open(path, OpenAs::CreateThroughLink, kNewFileMode, error));
        if (!existing)
            return openFailure(error);
    }
    FileInfo old;
    if (!calls.status(existing.get(), old, error))
        return openFailure(error);
    if (old.type != fs::file_type::regular)
        return openFailure(notAFile(old.type));
    // Root may write anything; a file without a single write permission bit
    // was still made read-only on purpose, and stays so.
    if ((old.mode & 0222) == 0)
        return openFailure(std::make_error_code(std::errc::permission_denied));
    examined.target = calls.resolved(path, error);
    if (error)
        return openFailure(error);
    // Opening it for writing asks the system whether this user may, and
    // proves the resolved name is the file the system opened. It is closed
    // again at once: Windows replaces no file that is open.
    if (!openExamined(calls, examined.target, old, error))
        return openFailure(error);
    examined.old = old;
    return std::nullopt;
}

// Another clock's save may replace the file between two looks; a swap seen
// again and again is something else.
std::optional<WriteFailure> examineSettled(DiskCalls& calls, const fs::path& path, Examined& examined)
{
    for (int attempt = 1;; ++attempt) {
        auto failure = examine(calls, path, examined);
        if (!failure || failure->code != make_error_code(NotAFile::Swapped) || attempt == 10)
            return failure;
    }
}

// A copy of the new content beside the file, renamed over it at the end.
// A named copy is removed again if the save fails.
class Copy {
public:
    Copy(DiskCalls& calls, fs::path target) : m_calls(calls), m_target(std::move(target)), m_file(calls, -1)
    {
        std::random_device seed;
        m_random.seed((std::uint64_t{seed()} << 32) ^ seed());
    }
    ~Copy()
    {
        m_file = OpenFile(m_calls, -1);  // Windows removes no file that is open
        std::error_code ignored;
        if (!m_name.empty())
            m_calls.remove(m_name, ignored);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    std::optional<WriteFailure> write(std::string_view content, const std::optional<FileInfo>& old)
    {
        // Never more open than the file it replaces, even for a moment.
        const unsigned mode = old ? old->mode & 0777 : kNewFileMode;
        std::error_code error;
        m_file = OpenFile(m_calls, m_calls.open(folderOf(m_target), OpenAs::CreateUnnamed, mode, error));
        if (!m_file) {
            if (error != std::errc::not_supported)
                return openFailure(error);
            if (const auto failure = createNamed(mode))
                return failure;
        } else {
            m_locked = m_calls.lock(m_file.get()) == Lock::Taken;
        }
        if (old)
            m_calls.copyOwnerAndMode(m_file.get(), *old);
        std::size_t written = 0;
        if (const auto failure = writeAll(m_calls, m_file.get(), content, written))
            return WriteFailure{WriteStep::Write, *failure};
        if (!m_calls.sync(m_file.get(), error))
            return WriteFailure{WriteStep::Write, orIoError(error)};
        return std::nullopt;
    }

    std::optional<WriteFailure> commit()
    {
        std::error_code error;
        for (int attempt = 0; m_name.empty(); ++attempt) {
            const fs::path name = copyName(m_target, m_random);
            if (m_calls.name(m_file.get(), name, error))
                m_name = name;
            else if (error != std::errc::file_exists || attempt == 100)
                return WriteFailure{WriteStep::Commit, orIoError(error)};
        }
        // A locked copy is closed only once renamed, so the lock holds until
        // it has gone; Windows, which has no such lock, renames no open file.
        if (!m_locked && !m_file.close(error))
            return WriteFailure{WriteStep::Commit, orIoError(error)};
        if (!m_calls.rename(m_name, m_target, error))
            return WriteFailure{WriteStep::Commit, orIoError(error)};
        m_name.clear();
        if (m_locked && !m_file.close(error))
            return WriteFailure{WriteStep::Commit, orIoError(error)};
        // Makes the rename itself survive a power cut. Not every file system
        // allows this; the content is on the device already.
        m_calls.syncFolder(folderOf(m_target), error);
        return std::nullopt;
    }

private:
    // Where the system has no unnamed files. The lock tells removeStaleCopies
    // that this copy is in use; a copy found locked or already removed was
    // being tidied away by another clock, and another name is tried.
    std::optional<WriteFailure> createNamed(unsigned mode)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::error_code error;
            const fs::path name = copyName(m_target, m_random);
            OpenFile file(m_calls, m_calls.open(name, OpenAs::CreateNew, mode, error));
            if (!file) {
                if (error == std::errc::file_exists)
                    continue;
                return openFailure(error);
            }
            FileInfo info;
            const Lock lock = m_calls.lock(file.get());
            if (lock == Lock::HeldElsewhere || !m_calls.status(file.get(), info, error) || info.links == 0)
                continue;
            m_locked = lock == Lock::Taken;
            m_name = name;
            m_file = std::move(file);
            return std::nullopt;
        }
        return openFailure(std::make_error_code(std::errc::file_exists));
    }

    DiskCalls& m_calls;
    fs::path m_target;
    OpenFile m_file;
    fs::path m_name;  // while a named copy exists
    bool m_locked = false;
    std::mt19937_64 m_random;
};

// For a file that may be written in a folder that takes no new file.
std::optional<WriteFailure> writeInPlace(DiskCalls& calls, const fs::path& target, const FileInfo& old,
                                         std::string_view content)
{
    std::error_code error;
    OpenFile file = openExamined(calls, target, old, error);
    if (!file)
        return openFailure(error);
    // Blanks as far as the old content reached, so no moment leaves a stray
    // tail of it; a longer old file is cut afterwards.
    std::string padded(content);
    const auto reach = std::min<std::uint64_t>(old.size, kMaxReadBytes);
    if (reach > padded.size())
        padded.append(static_cast<std::size_t>(reach - padded.size()), ' ');
    std::size_t written = 0;
    if (const auto failure = writeAll(calls, file.get(), padded, written))
        return WriteFailure{WriteStep::Write, *failure, written > 0};
    if (!calls.sync(file.get(), error))
        return WriteFailure{WriteStep::Write, orIoError(error), true};
    // Should the cut fail, or be lost to a power cut, the blanks stay: the
    // file still reads as saved.
    if (old.size > content.size())
        calls.truncate(file.get(), content.size(), error);
    if (!file.close(error))
        return WriteFailure{WriteStep::Write, orIoError(error), true};
    return std::nullopt;
}

}  // namespace

DiskFileSystem::DiskFileSystem() : m_own(systemDiskCalls()), m_calls(*m_own) {}

std::unique_ptr<std::istream> DiskFileSystem::openForReading(const fs::path& path, std::error_code& error)
{
    error.clear();
    OpenFile file(m_calls, m_calls.open(path, OpenAs::Read, 0, error));
    FileInfo info;
    if (!file) {
        error = refusalAt(path, error);
        return nullptr;
    }
    if (!m_calls.status(file.get(), info, error))
        return nullptr;
    if (info.type != fs::file_type::regular) {
        error = notAFile(info.type);
        return nullptr;
    }
    std::string content(kMaxReadBytes, '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        const auto n = m_calls.read(file.get(), content.data() + got, content.size() - got, error);
        if (n < 0 && error == std::errc::interrupted) {
            error.clear();
            continue;
        }
        if (n < 0)
            return nullptr;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    return std::make_unique<std::istringstream>(std::move(content));
}

std::optional<WriteFailure> DiskFileSystem::replace(const fs::path& path, std::string_view content)
{
    Examined examined{path, std::nullopt};
    if (auto failure = examineSettled(m_calls, path, examined))
        return failure;

    Copy copy(m_calls, examined.target);
    auto failure = copy.write(content, examined.old);
    if (!failure)
        return copy.commit();
    const bool folderRefused = failure->step == WriteStep::Open
        && (failure->code == std::errc::permission_denied || failure->code == std::errc::operation_not_permitted);
    if (folderRefused && examined.old)
        return writeInPlace(m_calls, examined.target, *examined.old, content);
    return failure;
}

void DiskFileSystem::removeStaleCopies(const fs::path& path)
{
    std::error_code error;
    fs::path target = m_calls.resolved(path, error);
    if (error)
        target = path;
    const long long user = m_calls.userId();
    for (const auto& entry : m_calls.folderEntries(folderOf(target))) {
        if (!isCopyName(entry, target))
            continue;
        OpenFile copy(m_calls, m_calls.open(entry, OpenAs::ReadNotFollowing, 0, error));
        FileInfo info;
        FileInfo named;
        if (!copy || !m_calls.status(copy.get(), info, error) || info.type != fs::file_type::regular
            || (user >= 0 && info.owner != user))
            continue;
        // A save that is still running holds its copy's lock.
        const Lock lock = m_calls.lock(copy.get());
        const bool abandoned = lock == Lock::Taken
            || (lock == Lock::Unsupported && m_calls.now() - info.modified > kAbandonedAfterSeconds);
        if (abandoned && m_calls.statusOfName(entry, named, error) && named.sameFileAs(info))
            m_calls.remove(entry, error);
    }
}

std::error_code DiskFileSystem::makeFolder(const fs::path& folder)
{
    // From the first that is missing down, each through links as the system
    // follows them (a user's folder of settings is often a link).
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path at = folder; !at.empty() && !fs::exists(fs::status(at, error)); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path())
            break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        error.clear();
        // Another clock may have made it a moment ago.
        if (!m_calls.makeFolder(*at, kNewFolderMode, error) && error != std::errc::file_exists)
            return error;
    }
    const auto status = fs::status(folder, error);
    if (error)
        return error;
    return fs::is_directory(status) ? std::error_code() : std::error_code(std::make_error_code(std::errc::not_a_directory));
}

}  // namespace zentick::platform
