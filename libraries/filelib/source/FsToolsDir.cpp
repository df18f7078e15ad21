// FsTools: directory tests, listings and removal. Nothing here throws.
#include "FsTools.h"
#include "FsToolsListing.h"
#include "TreeWalk.h"
#include "platform/FileSystem.h"

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

// The directory path as the walks take it: the listing's form, so both see the same directory.
std::string walkPath(const std::string& dir) {
    std::string prepared = dir;
    FsTools::unifySeparators(prepared);
    return prepared;
}

// Clears the directory a Place names, reporting its own entries to `progress`.
bool clearPlace(const Tree::Place& place, bool recursive, bool force,
                const FsTools::ProgressCallback& progress) {
    if (place.info.kind == fs::EntryKind::Link)
        return true; // swapped for a link since it was looked at: still nothing of ours behind it
    Tree::DirHandle dir;
    if (Tree::openDirectory(place, false, dir) != fs::FileSystemError::Success)
        return false;
    Tree::ClearOptions options;
    options.force = force;
    options.recursive = recursive;
    std::uint64_t done = 0;
    Tree::ClearReport report;
    if (progress) {
        report = [&](const Tree::Entry& entry, bool gone, std::uint64_t files) {
            const bool directory = entry.info.kind == fs::EntryKind::Directory;
            const int status = directory
                                   ? (gone ? FsTools::ProgressDirRemoved : FsTools::ProgressDirNotRemoved)
                                   : (gone ? FsTools::ProgressFileRemoved : FsTools::ProgressFileNotRemoved);
            progress(entry.name, status, ++done, files);
        };
    }
    std::uint64_t failures = 0;
    return Tree::clear(dir, options, report, failures) == fs::FileSystemError::Success;
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
    std::uint32_t error = Listing::forEachEntry(listingPath(dir), pattern, [&](const Listing::Item& entry) {
        NameSet* target = entry.directory ? dirs : files;
        if (target != nullptr)
            target->emplace_hint(target->end(), entry.name);
        return true;
    });
    return error == fs::FileSystemError::Success || error == fs::FileSystemError::FileNotFound;
}

bool FsTools::removeDir(const std::string& path, bool recursive, bool force,
                        const ProgressCallback& progress) {
    if (!isDir(path))
        return false;
    Tree::Place place;
    if (Tree::locate(walkPath(path), place) != fs::FileSystemError::Success || !place.isEntry())
        return false;
    // A link goes as the link itself; nothing behind it is cleared.
    if (place.info.kind == fs::EntryKind::Link)
        return Tree::removeFile(place.holder, place.entry(), false) == fs::FileSystemError::Success;
    if (place.info.kind != fs::EntryKind::Directory)
        return false;
    if (place.info.readOnly || fs::accessCheck(path, fs::AccessMode::Write) != fs::FileSystemError::Success) {
        if (!force || place.holder.changeMode(place.name, fs::FilePermission::Write, &place.info) !=
                          fs::FileSystemError::Success)
            return false;
    }
    if (recursive && !clearPlace(place, true, force, progress))
        return false;
    return Tree::removeEmptyDirectory(place.holder, place.name) == fs::FileSystemError::Success;
}

bool FsTools::clearDir(const std::string& path, bool recursive, bool force,
                       const ProgressCallback& progress) {
    if (!isDir(path))
        return false;
    if (Listing::isReparsePoint(path))
        return true; // never clear what a link leads to
    Tree::Place place;
    if (Tree::locate(walkPath(path), place) != fs::FileSystemError::Success)
        return false;
    return clearPlace(place, recursive, force, progress);
}

bool FsTools::countTree(const std::string& dir, const std::string& filePattern, const std::string& dirPattern,
                        std::uint64_t& fileCount, std::uint64_t& dirCount) {
    fileCount = 0;
    dirCount = 0;
    if (!isDir(dir))
        return false;
    Tree::DirHandle top;
    if (top.openRoot(listingPath(dir)) != fs::FileSystemError::Success)
        return true;
    Tree::walkBreadthFirst(top, false, [&](const Tree::DirHandle&, const Tree::Entry& entry) {
        if (entry.info.kind != fs::EntryKind::Directory) {
            if (matchWildcard(entry.name, filePattern))
                ++fileCount;
            return Tree::Next::Go;
        }
        if (!matchWildcard(entry.name, dirPattern))
            return Tree::Next::Go;
        ++dirCount;
        return Tree::Next::Enter;
    });
    return true;
}

} // namespace VeltorFilelib
