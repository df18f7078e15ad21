// How FsTools, DirTools and FileTools change and remove what lies below a path: through the handles of
// platform/DirHandle.h, never by a path built from the tree's contents.
//
// Whoever can write inside a tree can swap a directory for a link between our look at it and our next
// step. So only the directory that holds the path's last component is opened by its path (the caller
// named it); everything below is reached from an open directory by one name at a time, never through a
// link, and an entry is acted on only while it is still the entry that was looked at (the same
// identity): what was judged is what goes. A link inside a tree is an entry of its own, removed as
// itself and never entered or changed, whatever it leads to.
#pragma once
#include "platform/DirHandle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace VeltorFilelib {
namespace Tree {

using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;

// One entry of a directory: its name and what its look-up (links not followed) found.
struct Entry {
    std::string name;
    EntryInfo info;
};

// Where a path leads: the directory holding its last component, opened by its path, and that component.
// A root, or a path whose last component is "." or "..", names no entry of its own: then `name` is
// empty, `holder` is that directory itself and `info` its status.
struct Place {
    DirHandle holder;
    std::string name;
    EntryInfo info;
    bool isEntry() const { return !name.empty(); }
    Entry entry() const { return Entry{name, info}; }
};

// Opens the directory holding `path` (trailing separators ignored) and looks its last component up:
// the error of the look-up, with `holder` and `name` set whenever that directory could be opened (so a
// missing entry can still be created there).
std::uint32_t locate(const std::string& path, Place& place);

// Opens the directory `entry` of `parent`, never through a link (IsALink), and only while it is still
// the entry looked up (EntryChanged). With `makeReadable`, a directory we may not list gets its owner
// read bit (keeping its write bit as it is) and is tried again.
std::uint32_t openChild(const DirHandle& parent, const Entry& entry, bool makeReadable, DirHandle& dir);
// The same for the directory a Place names.
std::uint32_t openDirectory(const Place& place, bool makeReadable, DirHandle& dir);

// The entries of `dir`, in the directory's own order; with `lookUp` each is looked up (its identity and
// status known; entries gone meanwhile left out), otherwise only its kind is known, from the listing.
// An error part-way ends the list with what was found.
std::uint32_t list(const DirHandle& dir, bool lookUp, std::vector<Entry>& out);
// Whether `dir` holds no entry: Success and the answer, or the error of listing it.
std::uint32_t isEmpty(const DirHandle& dir, bool& empty);

// Changes the permission of what a Place names (FilePermission flags) through its directory's handle,
// as long as it is the entry looked up; a link is left as it is (Success). A root is changed by its
// path: it is no link.
std::uint32_t changeMode(const Place& place, int permissions);

// Removes the non-directory `entry` of `dir` (a link as the link itself) while it is still that entry;
// with `force` a read-only file is made writable first. One more attempt after a short pause, on a
// fresh look-up, unless only `force` could have helped. Success also when it is gone.
std::uint32_t removeFile(const DirHandle& dir, const Entry& entry, bool force);
// Removes the empty directory `name` of `dir`, two attempts; Success also when it is gone.
std::uint32_t removeEmptyDirectory(const DirHandle& dir, const std::string& name);

struct ClearOptions {
    bool force = false;        // make read-only files and directories writable to remove them
    bool recursive = true;     // empty the sub-directories before removing them
    bool makeReadable = false; // make a sub-directory we may not list readable to empty it
};
// Heard once per entry of the cleared directory itself (files first, then sub-directories, each in
// name order) with whether it is gone now and the number of its non-directories.
using ClearReport = std::function<void(const Entry& entry, bool gone, std::uint64_t files)>;
// Removes everything in `dir`: the non-directories, then the sub-directories with all they hold, depth
// first without recursion and without a limit on the depth but the descriptors one handle per level
// takes. A read-only sub-directory is made writable first (`force`) or left with all it holds.
// Success and the number of entries of `dir` that stay, or the error of listing `dir`.
std::uint32_t clear(const DirHandle& dir, const ClearOptions& options, const ClearReport& report,
                    std::uint64_t& failures);

// What a breadth-first visitor wants after an entry.
enum class Next { Go, Enter, Stop };
// Visits the entries of `top` and of the directories below it breadth-first, each directory's in its
// own order; an entry answered with Enter (a directory only) is listed after the entries queued before
// it. A directory is reached from `top` along the names that led to it, one handle per level at most;
// one that cannot be reached or listed (gone, replaced, unreadable) is passed over.
void walkBreadthFirst(const DirHandle& top, bool lookUp,
                      const std::function<Next(const DirHandle& dir, const Entry& entry)>& visit);

} // namespace Tree
} // namespace VeltorFilelib
