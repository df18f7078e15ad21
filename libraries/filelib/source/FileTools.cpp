#include "FileTools.h"

#include "DirTools.h"
#include "FileLinks.h"
#include "FsTools.h"
#include "FsToolsListing.h"
#include "PathTools.h"
#include "TreeWalk.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <cstdio>

namespace VeltorFilelib {

namespace fs = VeltorPlatform;

namespace {

constexpr unsigned kMaxEnumeration = 99999;

[[noreturn]] void throwNoSuchFile(const std::string& path, const char* operation) {
    VELTOR_THROW(FileTools::NoSuchFile, "@file.no-such-file{Trying to access \"%\", but no such file (%)};",
                 path, operation);
}

[[noreturn]] void throwAccessDenied(const std::string& path, const char* operation) {
    VELTOR_THROW(AccessDenied, "@file.access-denied{Trying to access \"%\", but was denied (%)};", path,
                 operation);
}

[[noreturn]] void throwEmptyParameter(const char* parameter, const char* operation) {
    VELTOR_THROW(TargetExists, "@file.empty-parameter{Parameter \"%\" must not be empty (%)};", parameter,
                 operation);
}

void renameOrThrow(const std::string& from, const std::string& to) {
    if (fs::renamePath(from, to) != fs::FileSystemError::Success)
        VELTOR_THROW(FileTools::Rename_Failed, "@file.rename.failed{Failed to rename from \"%\" to \"%\"};",
                     from, to);
}

// The path in its native form with "." and ".." resolved and doubled separators dropped: two
// spellings of one absolute path compare equal.
std::string comparable(const std::string& path) {
    std::string prepared = path;
    FsTools::normalize(prepared);
    return prepared;
}

} // namespace

bool FileTools::exists(const std::string& path) {
    return !path.empty() && fs::accessCheck(path, fs::AccessMode::Exists) == fs::FileSystemError::Success;
}

bool FileTools::isFile(const std::string& path) {
    std::uint32_t attributes = 0;
    if (!exists(path) || fs::getFileAttributes(path, attributes) != fs::FileSystemError::Success ||
        (attributes & fs::FileAttribute::Directory) != 0)
        return false;
    if (!FsTools::isShortcut(path))
        return true;
    // A shortcut to a directory stands for the directory; one that leads nowhere is just a file.
    try {
        if (Links::readTarget(path).empty())
            return true;
        std::string target = getLinkTarget(path);
        return !(exists(target) && DirTools::isDir(target));
    } catch (const VeltorCorelib::Exception&) {
        return true;
    }
}

bool FileTools::isLink(const std::string& path) {
    return FsTools::isLink(path);
}

std::string Links::readTarget(const std::string& path) {
    if (!FileTools::exists(path))
        throwNoSuchFile(path, "getLinkTarget");
    std::string target;
    if (FsTools::isShortcut(path)) {
        if (fs::readShortcutTarget(path, target) != fs::FileSystemError::Success)
            throwAccessDenied(path, "getLinkTarget");
        return target;
    }
    std::uint32_t tag = 0;
    std::uint32_t error = fs::readReparseTarget(path, target, tag);
    if (error == fs::FileSystemError::NotAReparsePoint ||
        (error == fs::FileSystemError::Success && tag != fs::kReparseTagSymlink))
        return std::string();
    if (error != fs::FileSystemError::Success)
        throwAccessDenied(path, "getLinkTarget");
    return target;
}

std::string FileTools::getLinkTarget(const std::string& path) {
    std::string target = Links::readTarget(path);
    for (char& c : target)
        if (c == '\\')
            c = '/';
    if (PathTools::root(target).empty()) {
        std::string portable = path;
        for (char& c : portable)
            if (c == '\\')
                c = '/';
        // A link given by its bare name lies in the current directory, which is what a relative
        // target is relative to already; prefixing its empty directory with '/' would move it to
        // the root. A link in the root must not gain a second leading '/' (a server name).
        const std::string dir = PathTools::dirName(portable);
        if (dir.empty())
            target = target.empty() ? std::string(".") : target;
        else
            target = dir.back() == '/' ? dir + target : dir + "/" + target;
    }
    return PathTools::normalize(target, 1 + 2 + 4 + 16);
}

bool FileTools::havePermission(const std::string& path, unsigned bits) {
    if (!exists(path))
        throwNoSuchFile(path, "havePermission");
    if ((bits & Read) != 0 && fs::accessCheck(path, fs::AccessMode::Read) != fs::FileSystemError::Success)
        return false;
    if ((bits & Write) != 0) {
        std::uint32_t attributes = 0;
        if (fs::getFileAttributes(path, attributes) != fs::FileSystemError::Success)
            throwAccessDenied(path, "getStatus / GetFileAttributes");
        if ((attributes & fs::FileAttribute::ReadOnly) != 0)
            return false;
        if (fs::accessCheck(path, fs::AccessMode::Write) != fs::FileSystemError::Success)
            return false;
    }
    return true;
}

void FileTools::setPermission(const std::string& path, unsigned bits) {
    if (!exists(path))
        throwNoSuchFile(path, "setPermission");
    Tree::Place place;
    if (Tree::locate(path, place) != fs::FileSystemError::Success ||
        Tree::changeMode(place, Listing::runtimeFlags(bits)) != fs::FileSystemError::Success)
        throwAccessDenied(path, "setPermission");
}

void FileTools::remove(const std::string& path, unsigned flags) {
    // The entry found at the path, removed through its directory's handle while it is still that entry;
    // a link of any kind goes as the link itself.
    auto removeOnce = [&path]() {
        Tree::Place place;
        std::uint32_t error = Tree::locate(path, place);
        if (error == fs::FileSystemError::Success)
            error = place.isEntry() ? place.holder.removeFile(place.name, &place.info)
                                    : fs::FileSystemError::AccessDenied;
        return error;
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::uint32_t error = removeOnce();
        if (error == fs::FileSystemError::Success)
            return;
        if (error == fs::FileSystemError::AccessDenied && (flags & RemoveForce) == 0)
            throwAccessDenied(path, "remove");
        setPermission(path, Write);
        if (removeOnce() == fs::FileSystemError::Success)
            return;
        VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
    }
    VELTOR_THROW(Remove_Failed, "@file.remove.failed{Failed to remove \"%\"};", path);
}

void FileTools::rename(const std::string& fromPath, const std::string& toPath, unsigned flags) {
    if (!isFile(fromPath))
        throwNoSuchFile(fromPath, "rename");
    if (toPath.empty())
        throwEmptyParameter("target_path", "rename");
    const std::string current = DirTools::currentDir();
    const std::string from = PathTools::makeAbsolute(fromPath, current);
    const std::string to = PathTools::makeAbsolute(toPath, current);
    // Onto itself: nothing to do. Taken for a replacement it would remove the file and then find
    // nothing to rename. Windows names compare without case: a name that differs from the file's
    // own in case only is the same file, and renaming it changes the case of its name.
    const std::string fromName = comparable(from);
    const std::string toName = comparable(to);
    if (fromName == toName)
        return;
    if (FsTools::separator == '\\' && FsTools::compareNoCase(fromName, toName) == 0) {
        renameOrThrow(from, to);
        return;
    }
    if (!exists(to)) {
        renameOrThrow(from, to);
        return;
    }
    if ((flags & ReplaceExisting) == 0)
        VELTOR_THROW(TargetExists, "@file.target-exists{\"%\" must not exists prior to operation (%)};", to,
                     "rename");
    if (FsTools::compareNoCase(PathTools::dirName(from), PathTools::dirName(to)) == 0) {
        remove(to, 0);
        renameOrThrow(from, to);
        return;
    }
    std::string parked = to + "._tmpmove_";
    if (exists(parked))
        parked = nextEnumeration(parked, 0);
    if (fs::renamePath(from, parked) != fs::FileSystemError::Success)
        VELTOR_THROW(Rename_Failed, "@file.rename.failed{Failed to rename from \"%\" to \"%\"};", from, to);
    try {
        remove(to, 0);
    } catch (const VeltorCorelib::Exception&) {
        // The old target resists: the file goes back to where it came from rather than staying
        // under a temporary name nobody knows.
        fs::renamePath(parked, from);
        throw;
    }
    renameOrThrow(parked, to);
}

std::string FileTools::nextEnumeration(const std::string& path, unsigned width) {
    if (!exists(path))
        return path;
    const std::string extension = PathTools::extension(path);
    const std::string stem = extension.empty() ? path : path.substr(0, path.size() - extension.size() - 1);
    const std::string suffix = extension.empty() ? std::string() : "." + extension;
    std::string candidate;
    for (unsigned number = 1; number <= kMaxEnumeration; ++number) {
        std::string digits = std::to_string(number);
        if (digits.size() < width)
            digits.insert(0, width - digits.size(), '0');
        candidate.assign(stem).append(1, '-').append(digits).append(suffix);
        if (!exists(candidate))
            return candidate;
    }
    VELTOR_THROW(
        TooManyEnumeratedFiles,
        "@file.too-many.enumerated.files{Trying to get next enumeration of \"%\", but there are too many "
        "already};",
        path);
}

} // namespace VeltorFilelib
