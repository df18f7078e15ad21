// FsTools: directory tests, listings and removal. Nothing here throws.
#include "FsTools.h"
#include "FsToolsListing.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <deque>

namespace VeltorFilelib {

namespace fs = VeltorPlatform;

namespace {

// The directory as the listing opens it: absolute, without trailing separators (the root keeps its one).
std::string listingPath(const std::string& dir) {
    std::string prepared = dir;
    FsTools::stripSeparators(prepared);
    if (prepared.empty() && !dir.empty())
        return std::string(1, FsTools::separator);
    FsTools::makeAbsolute(prepared, FsTools::currentDir());
    return prepared;
}

// Sorted names of one directory, split into files and directories, with the directory links apart so
// that a walk can remove them without entering them.
struct Split {
    FsTools::NameSet files;
    FsTools::NameSet dirs;
    FsTools::NameSet dirLinks;
};

bool split(const std::string& dir, Split& out) {
    std::uint32_t error = Listing::forEachEntry(listingPath(dir), "*", fs::DirDetail::NamesAndTypes,
                                                [&](const fs::DirEntry& entry) {
                                                    std::string name(entry.name, entry.nameLength);
                                                    if (!entry.isDirectory())
                                                        out.files.insert(std::move(name));
                                                    else if (entry.isReparsePoint())
                                                        out.dirLinks.insert(std::move(name));
                                                    else
                                                        out.dirs.insert(std::move(name));
                                                    return true;
                                                });
    return error == fs::FileSystemError::Success || error == fs::FileSystemError::FileNotFound;
}

bool removeDirectoryTwice(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::uint32_t error = fs::removeDirectory(path);
        if (error == fs::FileSystemError::Success || Listing::isGone(error))
            return true;
        VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
    }
    return false;
}

} // namespace

bool FsTools::isDir(const std::string& path) {
    if (path.empty())
        return false;
    std::string prepared = path;
    normalize(prepared);
    if (prepared.size() > 1 && prepared.back() == separator)
        prepared.pop_back();
    // "C:" alone names the current directory of drive C; its root is meant.
    if (matchWildcard(prepared, "?:"))
        prepared += separator;
    fs::FileStatus status;
    return fs::getFileStatus(prepared, status) == fs::FileSystemError::Success && status.isDirectory;
}

bool FsTools::readDir(const std::string& dir, const std::string& pattern, NameSet* files, NameSet* dirs) {
    if (!isDir(dir))
        return false;
    // Only the directory bit is needed: on POSIX the entry's type answers without a status call.
    std::uint32_t error = Listing::forEachEntry(
        listingPath(dir), pattern, fs::DirDetail::NamesAndTypes, [&](const fs::DirEntry& entry) {
            NameSet* target = entry.isDirectory() ? dirs : files;
            if (target != nullptr)
                target->emplace_hint(target->end(), entry.name, entry.nameLength);
            return true;
        });
    return error == fs::FileSystemError::Success || error == fs::FileSystemError::FileNotFound;
}

bool FsTools::removeFilesIf(const std::string& dir, const std::string& pattern,
                            const std::function<bool(const ListedFile&)>& decide,
                            const std::function<void(const ListedFile&, Removal)>& done) {
    if (!isDir(dir))
        return false;
    const std::string base = listingPath(dir);
    std::string path;
    ListedFile file;
    std::uint32_t error =
        Listing::forEachListed(base, pattern, fs::DirDetail::Full, [&](fs::DirEnumerator& listing) {
            const fs::DirEntry& entry = listing.entry();
            if (entry.isDirectory())
                return true;
            file.name = std::string_view(entry.name, entry.nameLength);
            file.modifyTime = Listing::toDateTimeMs(entry.lastWriteMs);
            file.accessTime = Listing::toDateTimeMs(entry.lastAccessMs);
            Removal result = Removal::Kept;
            if (decide(file)) {
                std::uint32_t removal = listing.removeEntry();
                if (removal != fs::FileSystemError::Success && !Listing::isGone(removal)) {
                    // As removeFile does: one more attempt after a pause, on a fresh lookup.
                    VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
                    path.assign(base);
                    addSeparator(path);
                    path.append(file.name);
                    removal = fs::deleteFile(path);
                }
                result = removal == fs::FileSystemError::Success || Listing::isGone(removal)
                             ? Removal::Removed
                             : Removal::RemoveFailed;
            }
            if (done)
                done(file, result);
            return true;
        });
    return error == fs::FileSystemError::Success || error == fs::FileSystemError::FileNotFound;
}

bool FsTools::removeDir(const std::string& path, bool recursive, bool force,
                        const ProgressCallback& progress) {
    if (!isDir(path))
        return false;
    // A link goes as the link itself; nothing behind it is cleared.
    if (Listing::isReparsePoint(path))
        return removeDirectoryTwice(Listing::linkItself(path));
    if (fs::accessCheck(path, fs::AccessMode::Write) != fs::FileSystemError::Success) {
        if (!force || !setPermission(path, PermissionWrite, 0, false, nullptr))
            return false;
    }
    if (recursive && !clearDir(path, true, force, progress))
        return false;
    return removeDirectoryTwice(path);
}

bool FsTools::clearDir(const std::string& path, bool recursive, bool force,
                       const ProgressCallback& progress) {
    if (!isDir(path))
        return false;
    if (Listing::isReparsePoint(path))
        return true; // never clear what a link leads to
    Split names;
    if (!split(path, names))
        return false;
    std::string base = path;
    stripSeparators(base);
    base += separator;
    const std::uint64_t total = names.files.size();
    std::uint64_t done = 0;
    std::string entryPath;
    for (const std::string& name : names.files) {
        entryPath.assign(base).append(name);
        bool removed = removeFile(entryPath, force);
        if (progress)
            progress(name, removed ? ProgressFileRemoved : ProgressFileNotRemoved, ++done, total);
    }
    // Directory links are removed as links, in name order with the real sub-directories.
    NameSet dirs = std::move(names.dirs);
    dirs.insert(names.dirLinks.begin(), names.dirLinks.end());
    for (const std::string& name : dirs) {
        entryPath.assign(base).append(name);
        bool removed = removeDir(entryPath, recursive, force, nullptr);
        if (progress)
            progress(name, removed ? ProgressDirRemoved : ProgressDirNotRemoved, ++done, total);
    }
    return true;
}

bool FsTools::countTree(const std::string& dir, const std::string& filePattern, const std::string& dirPattern,
                        std::uint64_t& fileCount, std::uint64_t& dirCount) {
    fileCount = 0;
    dirCount = 0;
    if (!isDir(dir))
        return false;
    std::deque<std::string> work{listingPath(dir)};
    while (!work.empty()) {
        std::string current = std::move(work.front());
        work.pop_front();
        addSeparator(current);
        Listing::forEachEntry(current, "*", fs::DirDetail::NamesAndTypes, [&](const fs::DirEntry& entry) {
            std::string_view name(entry.name, entry.nameLength);
            if (!entry.isDirectory()) {
                if (matchWildcard(name, filePattern))
                    ++fileCount;
            } else if (matchWildcard(name, dirPattern)) {
                ++dirCount;
                if (!entry.isReparsePoint())
                    work.push_back(current + std::string(name));
            }
            return true;
        });
    }
    return true;
}

} // namespace VeltorFilelib
