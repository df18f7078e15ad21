#include "DirTools.h"

#include "FileLinks.h"
#include "FileTools.h"
#include "FsTools.h"
#include "FsToolsListing.h"
#include "PathTools.h"
#include "TreeWalk.h"
#include "platform/FileSystem.h"

namespace VeltorFilelib {

namespace fs = VeltorPlatform;

namespace {

// Links that lead to links: beyond this many the chain counts as a loop, not as a directory.
constexpr int kMaxLinkHops = 32;

std::string winError(std::uint32_t error) {
    return "win-error#" + std::to_string(error);
}

[[noreturn]] void throwEmptyPath(const char* operation) {
    VELTOR_THROW(TargetExists, "@file.empty-parameter{Parameter \"%\" must not be empty (%)};", "path",
                 operation);
}

[[noreturn]] void throwNoSuchDir(const std::string& path, const char* operation) {
    VELTOR_THROW(DirTools::NoSuchDir, "@file.no-such-dir{Trying to access \"%\", but no such dir (%)};", path,
                 operation);
}

[[noreturn]] void throwReadFailed(const std::string& dir, std::uint32_t error) {
    VELTOR_THROW(DirTools::ReadDir_Failed, "@file.read-dir.failed{Failed to read directory \"%\" (%)};", dir,
                 winError(error));
}

[[noreturn]] void throwRemoveFailed(const std::string& dir) {
    VELTOR_THROW(DirTools::Remove_Failed, "@file.remove.failed{Failed to remove \"%\"};", dir);
}

bool isDirFollowing(const std::string& path, int hops) {
    if (path.empty())
        return false;
    if (FileTools::isLink(path)) {
        if (hops >= kMaxLinkHops)
            return false;
        std::string target;
        try {
            // A link that leads nowhere (an unreadable shortcut) is no directory.
            if (Links::readTarget(path).empty())
                return false;
            target = FileTools::getLinkTarget(path);
        } catch (const VeltorCorelib::Exception&) {
            return false;
        }
        return FileTools::exists(target) && isDirFollowing(target, hops + 1);
    }
    std::uint32_t attributes = 0;
    return fs::getFileAttributes(path, attributes) == fs::FileSystemError::Success &&
           (attributes & fs::FileAttribute::Directory) != 0;
}

// Lists `dir` with the checks and errors of readDir; visit(entry) returns false to stop.
template <typename Visitor>
void listChecked(const std::string& dir, const std::string& pattern, Visitor&& visit) {
    if (dir.empty())
        throwEmptyPath("readDir");
    if (!DirTools::isDir(dir))
        throwNoSuchDir(dir, "readDir");
    std::uint32_t error = Listing::forEachEntry(dir, pattern, visit);
    if (error != fs::FileSystemError::Success && error != fs::FileSystemError::FileNotFound)
        throwReadFailed(dir, error);
}

// Removes everything below the open directory `dir` is the path of: files and links go as entries of
// their own (a link is never entered), sub-directories with all they hold. Throws Clear_Failed with the
// number of entries of `dir` itself that stayed.
void clearOpened(const std::string& dir, const Tree::DirHandle& opened, unsigned flags) {
    Tree::ClearOptions options;
    options.force = (flags & DirTools::RemoveForce) != 0;
    options.makeReadable = true;
    std::uint64_t failures = 0;
    if (std::uint32_t error = Tree::clear(opened, options, nullptr, failures))
        throwReadFailed(dir, error);
    if (failures != 0)
        VELTOR_THROW(DirTools::Clear_Failed,
                     "@file.clear.failed{Failed to clear directory \"%\" (% files/sub-dirs failed};", dir,
                     failures);
}

std::string join(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

} // namespace

bool DirTools::isDir(const std::string& path) {
    return isDirFollowing(path, 0);
}

bool DirTools::isEmpty(const std::string& dir) {
    return readDir(dir, "*", 1).empty();
}

std::string DirTools::currentDir() {
    std::string current = FsTools::currentDir();
    return current.empty() ? current : PathTools::normalize(current, 1 + 2 + 4 + 16);
}

DirTools::NameList DirTools::readDir(const std::string& dir, const std::string& pattern,
                                     std::uint32_t maxCount) {
    NameList names;
    // A count of zero lists nothing, but a directory that cannot be read fails as for any count.
    listChecked(dir, pattern, [&](const Listing::Item& entry) {
        if (maxCount == 0)
            return false;
        names.emplace_back(entry.name);
        return names.size() < maxCount;
    });
    return names;
}

DirTools::NameSet DirTools::readFiles(const std::string& dir, const std::string& pattern) {
    NameSet names;
    listChecked(dir, pattern, [&](const Listing::Item& entry) {
        // Files, and links of every kind (a directory link too).
        if (!entry.directory || entry.link)
            names.emplace(entry.name);
        return true;
    });
    return names;
}

DirTools::NameSet DirTools::readDirs(const std::string& dir, const std::string& pattern) {
    NameSet names;
    listChecked(dir, pattern, [&](const Listing::Item& entry) {
        std::string name(entry.name);
        // A shortcut counts as the directory it leads to.
        if (entry.directory || (FsTools::isShortcut(name) && isDir(join(dir, name))))
            names.insert(std::move(name));
        return true;
    });
    return names;
}

void DirTools::createDir(const std::string& path, unsigned flags) {
    if (path.empty())
        throwEmptyPath("createDir");
    if (FileTools::exists(path)) {
        if ((flags & CreateFailIfExists) != 0)
            VELTOR_THROW(TargetExists, "@file.target-exists{\"%\" must not exists prior to operation (%)};",
                         path, "createDir");
        if ((flags & CreateReplace) == 0)
            return;
        remove(path, RemoveForce | RemoveContents);
    }
    std::uint32_t error = fs::createDirectory(path);
    if (error != fs::FileSystemError::Success)
        VELTOR_THROW(CreateDir_Failed, "@file.create-dir.failed{Failed to create directory \"%\" (%)};", path,
                     winError(error));
}

void DirTools::ensureParentExists(const std::string& path) {
    if (path.empty())
        throwEmptyPath("ensureParentExists");
    auto components = PathTools::components(path);
    if (path.back() != '/' && path.back() != '\\' && !components.empty())
        components.pop_back();
    std::string partial;
    bool first = true;
    for (const std::string& component : components) {
        if (component.empty())
            continue;
        if (!partial.empty() && partial.back() != '/')
            partial += '/';
        partial += component;
        const bool firstRoot = first && PathTools::isRoot(partial);
        first = false;
        if (!FileTools::exists(partial)) {
            if (!firstRoot)
                createDir(partial, 0);
        } else if (!isDir(partial)) {
            VELTOR_THROW(
                EnsureParent_InvalidPath,
                "@file.ensure-parent.invalid-path{Trying to ensure existence of directory \"%\", but the "
                "path is invalid (%)};",
                partial, "is not dir");
        }
    }
}

void DirTools::remove(const std::string& dir, unsigned flags) {
    if (dir.empty())
        throwEmptyPath("remove");
    if (!isDir(dir))
        throwNoSuchDir(dir, "remove");
    Tree::Place place;
    const std::uint32_t looked = Tree::locate(dir, place);
    if (looked != fs::FileSystemError::Success || !place.isEntry())
        throwRemoveFailed(dir);
    // A link goes as the link itself: neither its target's permissions nor its contents matter.
    if (place.info.kind == fs::EntryKind::Link) {
        if (Tree::removeFile(place.holder, place.entry(), false) != fs::FileSystemError::Success)
            throwRemoveFailed(dir);
        return;
    }
    if (place.info.kind != fs::EntryKind::Directory)
        throwRemoveFailed(dir);
    if (!FileTools::havePermission(dir, FileTools::Write)) {
        if ((flags & RemoveForce) == 0)
            VELTOR_THROW(AccessDenied, "@file.access-denied{Trying to access \"%\", but was denied (%)};",
                         dir, "remove");
        FileTools::setPermission(dir, FileTools::Write);
    }
    Tree::DirHandle opened;
    bool empty = false;
    std::uint32_t error = Tree::openDirectory(place, false, opened);
    if (error == fs::FileSystemError::Success)
        error = Tree::isEmpty(opened, empty);
    if (error != fs::FileSystemError::Success)
        throwReadFailed(dir, error);
    if (!empty) {
        if ((flags & RemoveContents) == 0)
            VELTOR_THROW(Remove_DirNotEmpty,
                         "@file.remove.dir-not-empty{Cannot remove directory \"%\" because it is not empty};",
                         dir);
        clearOpened(dir, opened, flags);
    }
    // Our own handle must not stand in the way (Windows refuses to delete a directory held open).
    opened.close();
    if (Tree::removeEmptyDirectory(place.holder, place.name) != fs::FileSystemError::Success)
        throwRemoveFailed(dir);
}

void DirTools::clear(const std::string& dir, unsigned flags) {
    if (dir.empty())
        throwEmptyPath("remove");
    if (!isDir(dir))
        throwNoSuchDir(dir, "remove");
    if (Listing::isReparsePoint(dir) || FileTools::isLink(dir))
        return; // nothing behind a link is ours to clear
    Tree::Place place;
    Tree::DirHandle opened;
    std::uint32_t error = Tree::locate(dir, place);
    if (error == fs::FileSystemError::Success) {
        if (place.info.kind == fs::EntryKind::Link)
            return; // swapped for a link since it was looked at
        error = Tree::openDirectory(place, true, opened);
    }
    if (error == fs::FileSystemError::IsALink)
        return;
    if (error != fs::FileSystemError::Success)
        throwReadFailed(dir, error);
    clearOpened(dir, opened, flags);
}

} // namespace VeltorFilelib
