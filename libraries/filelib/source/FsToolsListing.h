// What FsTools, DirTools and FileTools share below their interfaces: the one listing of a directory by
// its path (the platform's enumeration handing every entry whose name matches a pattern to a visitor)
// and a few small answers about entries.
#pragma once
#include "FsTools.h"
#include "Wildcard.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace VeltorFilelib {
namespace Listing {

// Milliseconds from the DateTime origin (1899-12-31 00:00:00) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

// A platform stamp as a DateTime millisecond count.
inline std::int64_t toDateTimeMs(std::int64_t unixMs) {
    return unixMs + kUnixEpochMs;
}

// The pause after a failed removal before the second attempt.
constexpr unsigned kRetryPauseMs = 25;

// The error says the entry is not there (any more): nothing left to do with it.
inline bool isGone(std::uint32_t error) {
    return error == VeltorPlatform::FileSystemError::FileNotFound ||
           error == VeltorPlatform::FileSystemError::PathNotFound;
}

// The path without trailing separators, as the system must be given it to see a link itself:
// "alias/" names what the directory link leads to, "alias" the link. A root ("/", "C:\\") keeps its
// separator.
inline std::string linkItself(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '/' || path[end - 1] == FsTools::separator))
        --end;
    if (end == 0 || end == path.size() || path[end - 1] == ':')
        return path;
    return path.substr(0, end);
}

// The path itself is a link of the file system (symbolic link, junction, other reparse point),
// however it is written.
inline bool isReparsePoint(const std::string& path) {
    std::uint32_t attributes = 0;
    return VeltorPlatform::getFileAttributes(linkItself(path), attributes) ==
               VeltorPlatform::FileSystemError::Success &&
           (attributes & VeltorPlatform::FileAttribute::ReparsePoint) != 0;
}

// Read (1) and write (2) permission bits as the runtime's chmod flags.
inline int runtimeFlags(unsigned bits) {
    return ((bits & 1) != 0 ? VeltorPlatform::FilePermission::Read : 0) |
           ((bits & 2) != 0 ? VeltorPlatform::FilePermission::Write : 0);
}

// One entry of a listing by path: its name (valid during the visit), whether it is a directory or a
// link that leads to one, and whether it is a link.
struct Item {
    std::string_view name;
    bool directory = false;
    bool link = false;
};

// Lists `dir` (no trailing separator needed) by its path and calls visit(item) for every entry whose
// name matches `pattern`; visit returns false to stop. The directory is opened as a root of its own
// (DirHandle::openRoot: links on the way followed, for the caller named it) and listed from that
// handle. Returns PathNotFound when `dir` is missing or no directory, the platform's error of another
// failed opening, Success otherwise; an error part-way ends the listing with what was found. For
// listings only: what changes or removes entries goes through TreeWalk.h.
// The listing hands out kinds from the entries' types, mostly without a status call per entry; only
// a link costs one, to tell whether it leads to a directory.
template <typename Visitor>
std::uint32_t forEachEntry(const std::string& dir, const std::string& pattern, Visitor&& visit) {
    namespace FileSystemError = VeltorPlatform::FileSystemError;
    const bool everything = pattern == "*"; // every name matches: spare the matcher
    // With its separator, as a listing of "C:" has always meant the drive's root, not its current
    // directory.
    std::string root = dir.empty() ? std::string(".") : dir;
    if (root.back() != '/' && root.back() != FsTools::separator)
        root += FsTools::separator;
    VeltorPlatform::DirHandle opened;
    std::uint32_t error = opened.openRoot(root);
    if (error == FileSystemError::FileNotFound || error == FileSystemError::NotADirectory)
        return FileSystemError::PathNotFound;
    VeltorPlatform::DirEnumerator listing;
    if (error == FileSystemError::Success)
        error = listing.open(opened, VeltorPlatform::DirDetail::NamesAndTypes, true);
    if (error != FileSystemError::Success)
        return error;
    Item item;
    while (listing.next() == FileSystemError::Success) {
        const VeltorPlatform::ListedEntry& entry = listing.entry();
        if (!everything && !VeltorCorelib::matchWildcard(entry.name, pattern))
            continue;
        item.name = entry.name;
        item.link = entry.info.kind == VeltorPlatform::EntryKind::Link;
        item.directory = entry.info.kind == VeltorPlatform::EntryKind::Directory ||
                         (item.link && listing.linkLeadsToDirectory());
        if (!visit(item))
            break;
    }
    return FileSystemError::Success;
}

} // namespace Listing
} // namespace VeltorFilelib
