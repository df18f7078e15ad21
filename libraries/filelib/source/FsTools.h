// Stateless file-system helpers on narrow path strings. None of them throws: failures show in the
// result. What they change or remove below a path is reached through directory handles, one name at a
// time from the directory that holds the path, never by a path built from a tree's contents.
#pragma once
#include "DateTime.h"
#include "Wildcard.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace VeltorFilelib {

// The system's one wildcard matcher (see Wildcard.h), also reachable as FsTools::matchWildcard.
using VeltorCorelib::matchWildcard;

class FsTools {
public:
    // ---- Path operations (FsToolsPath.cpp) -------------------------------------------------------
    //
    // Paths are in the native form. On Windows the separator is '\\' and '/' is turned into it; on
    // POSIX the separator is '/' and '\\' is turned into it. Where a comment names '\\' below it
    // means the native separator.

    // The native separator of this system.
    static const char separator;

    static bool matchWildcard(std::string_view text, std::string_view pattern, std::size_t start = 0,
                              std::size_t length = std::string_view::npos) {
        return VeltorCorelib::matchWildcard(text, pattern, start, length);
    }

    // Every other separator becomes the native one.
    static void unifySeparators(std::string& path);
    // Appends the native separator unless the path is empty or already ends in either separator.
    static void addSeparator(std::string& path);
    // Unifies, then removes every trailing separator (a path of separators only becomes empty).
    static void stripSeparators(std::string& path);
    // Resolves "." and ".." components and drops doubled separators; "." alone (or ".\\") becomes the
    // current directory; leading, UNC and trailing separators are kept. A ".." never removes the root
    // of an absolute path (drive, "\\\\server\\share", leading separator): one that would climb above
    // it is dropped. A leading ".." of a relative path stays.
    // POSIX: no "\\\\server\\share" names, a leading "//" counts as one separator.
    static void normalize(std::string& path);
    // The current directory with unified separators; empty when it cannot be read.
    static std::string currentDir();
    // Windows: a ':' after at least one character, or "\\\\name\\..." (either separator).
    // POSIX: a leading separator.
    static bool isAbsolute(const std::string& path);
    // A relative path is put below base (separator added as needed) and normalized; an absolute path
    // only gets its separators unified.
    static void makeAbsolute(std::string& path, const std::string& base);
    // Replaces %NAME% and $NAME\\ references to set environment variables, then the special whole
    // paths "\\c:" (becomes "C:"), "\\systemroot" (the Windows directory) and "\\??" (becomes empty).
    // Unset names stay as written; a '$' reference without a separator after it is not expanded.
    // POSIX: the special whole paths have no meaning there and are left unchanged.
    static void expand(std::string& path);
    // The long form of a path holding short (8.3) names; unchanged when the path does not exist or
    // starts with two separators. POSIX: names have no short form, the path stays as it is.
    static void longPath(std::string& path);
    // The text after the last '.' of the last component; empty when there is none or the '.' ends it.
    static std::string extension(const std::string& path);
    // Negative, zero or positive as a is below, equal to or above b, ignoring ASCII letter case.
    static int compareNoCase(const std::string& a, const std::string& b);
    // The path names a shell shortcut: its extension is "lnk" in any case.
    static bool isShortcut(const std::string& path);

    // ---- Directory and file operations (FsToolsFile.cpp, FsToolsDir.cpp) -------------------------
    //
    // Nothing here follows a symbolic link, junction or other reparse point out of the tree a walk
    // started in: clearDir, countTree and a recursive setPermission handle a link as an entry of its
    // own, counted and reported with the files whatever it leads to, and never look below it. A
    // directory swapped for a link during a walk is never entered, and an entry is removed or changed
    // only while it is the one the walk looked at. An entry that vanishes between listing and use is
    // not a failure.

    using NameSet = std::set<std::string>;
    using LineList = std::list<std::string>;

    // Status codes handed to a ProgressCallback.
    enum ProgressStatus {
        ProgressDirNotRemoved = 0,
        ProgressFileNotRemoved = 1, // also: setPermission failed for a file
        ProgressDirRemoved = 2,
        ProgressFileRemoved = 3,
    };
    static constexpr int ProgressPermissionFailed = 0;
    static constexpr int ProgressPermissionSet = 1;
    // Called once per entry with its plain name, a status, the running number of entries handled
    // (from 1, files first) and the number of files found. May be empty.
    using ProgressCallback =
        std::function<void(const std::string& name, int status, std::uint64_t done, std::uint64_t total)>;

    // Permission bits of setPermission.
    static constexpr unsigned PermissionRead = 1;
    static constexpr unsigned PermissionWrite = 2;

    // The path names a file or directory.
    static bool exists(const std::string& path);
    // The last write / last access of the entry (a link's own stamps), from the UTC fields the file
    // system records; a DateTime of zero milliseconds when the entry cannot be found. One lookup each.
    // Environment references in the path are not expanded: it names a file as it stands.
    static VeltorCorelib::DateTime modifyTime(const std::string& path);
    static VeltorCorelib::DateTime accessTime(const std::string& path);
    // Deletes a file, trying twice with a 25 ms pause after a failure; a link goes as the link itself.
    // A read-only file stays unless `force` makes it writable first. True when the file is gone (also
    // when it was gone already).
    static bool removeFile(const std::string& path, bool force);
    // Sets the read (1) / write (2) permission; without write the path becomes read-only. With
    // `recursive` on a directory every file and directory below it gets the same, breadth-first;
    // links are neither changed nor entered. `who` has no effect. False when the path itself or a
    // sub-directory failed, or any file failed.
    static bool setPermission(const std::string& path, unsigned bits, unsigned who, bool recursive,
                              const ProgressCallback& progress);
    // Appends the file's bytes to `out` (emptied first when `clear`), carriage returns left out.
    // False (and `out` untouched) when the file cannot be opened or read to its end: a directory,
    // or an error part-way.
    static bool readFile(const std::string& path, std::string& out, bool clear);
    // Replaces `lines` by the file's lines ending at `delimiter` (not kept), carriage returns left
    // out; a last line without delimiter counts when it is not empty. `trim` strips " \r\n\t\v\b\f"
    // from both ends; `skipEmpty` drops empty lines. False (and `lines` untouched) when the file
    // cannot be opened or read to its end, as for readFile.
    static bool readLines(const std::string& path, LineList& lines, char delimiter, bool trim,
                          bool skipEmpty);
    // Writes every byte to a fresh file beside `path`, then renames it over `path`: a link or hard link
    // there is replaced, never written through, and a reader sees the old content or the new. A
    // directory, device or FIFO at `path` and a read-only file stay (false). The file replaced passes
    // on its permission bits; a new one is readable by all, writable by its owner (POSIX 0644; Windows:
    // what the directory gives). False on any failure.
    static bool writeFile(const std::string& data, const std::string& path);
    // The path is a link: a symbolic link, junction or other reparse point, or a file with the
    // extension "lnk" (a shell shortcut).
    static bool isLink(const std::string& path);

    // The path names an existing directory (links followed).
    static bool isDir(const std::string& path);
    // Adds the plain names of the entries of `dir` that match `pattern` (matchWildcard, case-sensitive)
    // to `files` (non-directories) and `dirs` (directories, directory links included); either may be
    // null. The sets are not cleared first. Never descends. False when `dir` is not a directory or
    // cannot be listed.
    static bool readDir(const std::string& dir, const std::string& pattern, NameSet* files, NameSet* dirs);
    // Removes a directory (only an empty one unless `recursive` clears it first). Without `force` a
    // read-only directory stays. A link is removed as the link itself. True when it is gone.
    static bool removeDir(const std::string& path, bool recursive, bool force,
                          const ProgressCallback& progress);
    // Removes the files (every non-directory, links included) of a directory in ascending order, then
    // its sub-directories (emptied first when `recursive`; a read-only one is made writable first with
    // `force` and otherwise stays with all it holds), reporting each to `progress`. True when the
    // directory could be listed, whatever the single results. A link given as `path` is left alone
    // (true, nothing done).
    static bool clearDir(const std::string& path, bool recursive, bool force,
                         const ProgressCallback& progress);
    // Counts the file entries (links included) matching `filePattern` and the directory entries
    // matching `dirPattern` below `dir`, all levels (matching directories are entered, links never).
    // False when `dir` is not a directory.
    static bool countTree(const std::string& dir, const std::string& filePattern,
                          const std::string& dirPattern, std::uint64_t& fileCount, std::uint64_t& dirCount);
};

} // namespace VeltorFilelib
