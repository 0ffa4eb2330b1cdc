#pragma once

// A disk in memory, with one folder, that remembers what reached the device
// and what is still only in the cache, in the manner of SQLite's crash tests:
// a file's content reaches the device with sync(), the folder's names with
// syncFolder(). The power can be cut before any call, and each call can be
// made to fail.

#include "platform/disk/disk_file_system.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace zentick::test {

class SimulatedDisk final : public platform::DiskCalls {
public:
    using Names = std::map<std::string, std::uint64_t>;

    static inline const std::filesystem::path kFolder = "/disk";

    // Calls are counted from 0; the power goes at call `cutAt`: that call
    // and every one after it fails and changes nothing.
    int cutAt = -1;
    bool unnamedFiles = true;      // as Linux's O_TMPFILE
    bool folderTakesNewNames = true;
    std::size_t mostPerWrite = SIZE_MAX;
    // An error for the nth call (from 1) of a kind ("write", "sync", ...), or none.
    std::function<std::error_code(std::string_view call, int nth)> failure;
    std::vector<unsigned> createdModes;
    std::int64_t clock = 1'000'000;

    void put(const std::string& name, const std::string& content, unsigned mode = 0644)
    {
        const auto inode = newFile(mode);
        m_files[inode].content = m_files[inode].synced = content;
        m_names[name] = m_syncedNames[name] = inode;
    }
    std::filesystem::path path(const std::string& name) const { return kFolder / name; }
    std::string contentOf(const std::string& name) const
    {
        const auto found = m_names.find(name);
        return found == m_names.end() ? std::string() : m_files.at(found->second).content;
    }
    std::set<std::string> names() const
    {
        std::set<std::string> all;
        for (const auto& [name, inode] : m_names)
            all.insert(name);
        return all;
    }
    const platform::FileInfo& infoOf(const std::string& name) { return info(m_names.at(name)); }
    bool powerCut() const { return m_cut; }

    // Every disk the device may hold after the power cut: the names as last
    // synced or with any later change applied, in order, and each named
    // file's content as last synced or as last written.
    std::vector<SimulatedDisk> afterPowerCut() const
    {
        std::vector<Names> folders{m_syncedNames};
        folders.insert(folders.end(), m_unsyncedNames.begin(), m_unsyncedNames.end());
        std::vector<SimulatedDisk> disks;
        for (const auto& names : folders) {
            std::vector<std::uint64_t> named;
            for (const auto& [name, inode] : names)
                named.push_back(inode);
            for (unsigned written = 0; written < (1u << named.size()); ++written) {
                SimulatedDisk disk;
                disk.m_nextInode = m_nextInode;
                disk.m_names = disk.m_syncedNames = names;
                disk.clock = clock + 3600;
                for (std::size_t i = 0; i < named.size(); ++i) {
                    auto file = m_files.at(named[i]);
                    file.content = file.synced = (written >> i & 1) ? file.content : file.synced;
                    disk.m_files[named[i]] = file;
                }
                disks.push_back(std::move(disk));
            }
        }
        return disks;
    }

    Handle open(const std::filesystem::path& path, platform::OpenAs how, unsigned mode, std::error_code& error) override
    {
        using platform::OpenAs;
        if (!enter("open", error))
            return -1;
        if (how == OpenAs::CreateUnnamed) {
            if (!unnamedFiles)
                return noHandle(error, std::errc::not_supported);
            if (!folderTakesNewNames)
                return noHandle(error, std::errc::permission_denied);
            createdModes.push_back(mode);
            return handleFor(newFile(mode & ~0022u));
        }
        const auto name = nameOf(path);
        const auto found = m_names.find(name);
        if (how == OpenAs::CreateNew || how == OpenAs::CreateThroughLink) {
            if (found != m_names.end())
                return how == OpenAs::CreateNew ? noHandle(error, std::errc::file_exists) : handleFor(found->second);
            if (!folderTakesNewNames)
                return noHandle(error, std::errc::permission_denied);
            createdModes.push_back(mode);
            const auto inode = newFile(mode & ~0022u);
            setName(name, inode);
            return handleFor(inode);
        }
        if (found == m_names.end())
            return noHandle(error, std::errc::no_such_file_or_directory);
        return handleFor(found->second);
    }
    bool close(Handle file, std::error_code& error) override
    {
        const bool closed = enter("close", error);
        m_handles.erase(file);
        m_locks.erase(file);
        return closed;
    }
    bool status(Handle file, platform::FileInfo& out, std::error_code& error) override
    {
        if (!enter("status", error))
            return false;
        out = info(m_handles.at(file).inode);
        return true;
    }
    bool statusOfName(const std::filesystem::path& path, platform::FileInfo& out, std::error_code& error) override
    {
        if (!enter("statusOfName", error))
            return false;
        const auto found = m_names.find(nameOf(path));
        if (found == m_names.end())
            return refuse(error, std::errc::no_such_file_or_directory);
        out = info(found->second);
        return true;
    }
    long long read(Handle file, char* data, std::size_t size, std::error_code& error) override
    {
        if (!enter("read", error))
            return -1;
        auto& open = m_handles.at(file);
        const auto& content = m_files.at(open.inode).content;
        const auto n = content.copy(data, size, std::min(open.offset, content.size()));
        open.offset += n;
        return static_cast<long long>(n);
    }
    long long write(Handle file, const char* data, std::size_t size, std::error_code& error) override
    {
        if (!enter("write", error))
            return -1;
        auto& open = m_handles.at(file);
        auto& content = m_files.at(open.inode).content;
        const auto n = std::min(size, mostPerWrite);
        if (content.size() < open.offset + n)
            content.resize(open.offset + n);
        content.replace(open.offset, n, data, n);
        open.offset += n;
        return static_cast<long long>(n);
    }
    bool truncate(Handle file, std::uint64_t size, std::error_code& error) override
    {
        if (!enter("truncate", error))
            return false;
        m_files.at(m_handles.at(file).inode).content.resize(size);
        return true;
    }
    bool sync(Handle file, std::error_code& error) override
    {
        if (!enter("sync", error))
            return false;
        auto& node = m_files.at(m_handles.at(file).inode);
        node.synced = node.content;
        return true;
    }
    bool syncFolder(const std::filesystem::path&, std::error_code& error) override
    {
        if (!enter("syncFolder", error))
            return false;
        m_syncedNames = m_names;
        m_unsyncedNames.clear();
        return true;
    }
    platform::Lock lock(Handle file) override
    {
        std::error_code ignored;
        if (!enter("lock", ignored))
            return platform::Lock::Unsupported;
        for (const auto& [handle, inode] : m_locks) {
            if (inode == m_handles.at(file).inode)
                return handle == file ? platform::Lock::Taken : platform::Lock::HeldElsewhere;
        }
        m_locks[file] = m_handles.at(file).inode;
        return platform::Lock::Taken;
    }
    void copyOwnerAndMode(Handle file, const platform::FileInfo& like) override
    {
        std::error_code ignored;
        if (enter("copyOwnerAndMode", ignored))
            m_files.at(m_handles.at(file).inode).info.mode = like.mode;
    }
    bool name(Handle file, const std::filesystem::path& path, std::error_code& error) override
    {
        if (!enter("name", error))
            return false;
        if (m_names.count(nameOf(path)))
            return refuse(error, std::errc::file_exists);
        setName(nameOf(path), m_handles.at(file).inode);
        return true;
    }
    bool rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) override
    {
        if (!enter("rename", error))
            return false;
        const auto found = m_names.find(nameOf(from));
        if (found == m_names.end())
            return refuse(error, std::errc::no_such_file_or_directory);
        const auto inode = found->second;
        m_names.erase(found);
        setName(nameOf(to), inode);  // one change: a rename is atomic on the device too
        return true;
    }
    bool remove(const std::filesystem::path& path, std::error_code& error) override
    {
        if (!enter("remove", error))
            return false;
        const auto found = m_names.find(nameOf(path));
        if (found == m_names.end())
            return refuse(error, std::errc::no_such_file_or_directory);
        --m_files.at(found->second).info.links;
        m_names.erase(found);
        m_unsyncedNames.push_back(m_names);
        return true;
    }
    // The disk has its one folder, and makes no other.
    bool makeFolder(const std::filesystem::path&, unsigned, std::error_code& error) override
    {
        return refuse(error, std::errc::read_only_file_system);
    }
    std::filesystem::path resolved(const std::filesystem::path& path, std::error_code& error) override
    {
        if (!enter("resolved", error))
            return {};
        if (!m_names.count(nameOf(path)))
            refuse(error, std::errc::no_such_file_or_directory);
        return path;
    }
    std::vector<std::filesystem::path> folderEntries(const std::filesystem::path&) override
    {
        std::vector<std::filesystem::path> entries;
        for (const auto& [name, inode] : m_names)
            entries.push_back(kFolder / name);
        return entries;
    }
    long long userId() override { return 1000; }
    std::int64_t now() override { return clock; }

private:
    struct File {
        std::string content;
        std::string synced;
        platform::FileInfo info;
    };
    struct Open {
        std::uint64_t inode;
        std::size_t offset;
    };

    // False once the power is gone; counts the call and injects its failure.
    bool enter(std::string_view call, std::error_code& error)
    {
        if (m_cut || m_calls++ == cutAt) {
            m_cut = true;
            error = std::make_error_code(std::errc::io_error);
            return false;
        }
        const int nth = ++m_counts[std::string(call)];
        if (const auto injected = failure ? failure(call, nth) : std::error_code()) {
            error = injected;
            return false;
        }
        return true;
    }
    static bool refuse(std::error_code& error, std::errc code)
    {
        error = std::make_error_code(code);
        return false;
    }
    static Handle noHandle(std::error_code& error, std::errc code) { return refuse(error, code) ? 0 : -1; }
    static std::string nameOf(const std::filesystem::path& path) { return path.filename().string(); }
    std::uint64_t newFile(unsigned mode)
    {
        auto& file = m_files[++m_nextInode];
        file.info.type = std::filesystem::file_type::regular;
        file.info.device = 1;
        file.info.inode = m_nextInode;
        file.info.mode = mode;
        file.info.owner = file.info.group = 1000;
        file.info.links = 0;
        return m_nextInode;
    }
    void setName(const std::string& name, std::uint64_t inode)
    {
        if (const auto old = m_names.find(name); old != m_names.end())
            --m_files.at(old->second).info.links;
        m_names[name] = inode;
        ++m_files.at(inode).info.links;
        m_unsyncedNames.push_back(m_names);
    }
    Handle handleFor(std::uint64_t inode)
    {
        m_handles[++m_nextHandle] = {inode, 0};
        return m_nextHandle;
    }
    platform::FileInfo& info(std::uint64_t inode)
    {
        auto& file = m_files.at(inode);
        file.info.size = file.content.size();
        file.info.modified = clock;
        return file.info;
    }

    std::map<std::uint64_t, File> m_files;  // kept when unnamed: the device may still hold them
    Names m_names;
    Names m_syncedNames;
    std::vector<Names> m_unsyncedNames;  // the names after each change since the last folder sync
    std::map<Handle, Open> m_handles;
    std::map<Handle, std::uint64_t> m_locks;
    std::map<std::string, int> m_counts;
    std::uint64_t m_nextInode = 0;
    Handle m_nextHandle = 2;
    int m_calls = 0;
    bool m_cut = false;
};

}  // namespace zentick::test
