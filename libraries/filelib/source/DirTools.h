// Directory operations on portable paths ('/' as separator) that report failure by exceptions:
// tests, listings, creation and removal.
#pragma once
#include "Exception.h"
#include "FileErrors.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace VeltorFilelib {

class DirTools {
public:
    VELTOR_ERROR_TYPE(NoSuchDir);
    VELTOR_ERROR_TYPE(ReadDir_Failed);
    VELTOR_ERROR_TYPE(CreateDir_Failed);
    VELTOR_ERROR_TYPE(EnsureParent_InvalidPath);
    VELTOR_ERROR_TYPE(Remove_DirNotEmpty);
    VELTOR_ERROR_TYPE(Remove_Failed);
    VELTOR_ERROR_TYPE(Clear_Failed);

    using NameList = std::vector<std::string>;
    using NameSet = std::set<std::string>;

    // readDir: no limit on the number of names.
    static constexpr std::uint32_t NoLimit = 0xFFFFFFFFu;
    // createDir: replace an existing path / fail when the path exists.
    static constexpr unsigned CreateReplace = 2;
    static constexpr unsigned CreateFailIfExists = 8;
    // remove / clear: take write permission when it is missing / remove the contents first.
    static constexpr unsigned RemoveForce = 1;
    static constexpr unsigned RemoveContents = 16;

    // The path names a directory; a link is followed to its target (false when that is missing).
    static bool isDir(const std::string& path);
    // The directory holds no entry. Throws as readDir.
    static bool isEmpty(const std::string& dir);
    // The current directory, normalised and portable; empty when it cannot be read.
    static std::string currentDir();
    // The names matching `pattern` in the order the system lists them, at most `maxCount`.
    // Throws TargetExists (empty path), NoSuchDir, ReadDir_Failed.
    static NameList readDir(const std::string& dir, const std::string& pattern,
                            std::uint32_t maxCount = NoLimit);
    // The names of readDir that are files or links / directories, sorted.
    static NameSet readFiles(const std::string& dir, const std::string& pattern);
    static NameSet readDirs(const std::string& dir, const std::string& pattern);
    // Creates one directory. Throws TargetExists, CreateDir_Failed and what remove throws.
    static void createDir(const std::string& path, unsigned flags = 0);
    // Creates every missing directory on the way to `path` (the last component names a file unless
    // the path ends in '/'). Throws TargetExists, EnsureParent_InvalidPath, CreateDir_Failed.
    static void ensureParentExists(const std::string& path);
    // Removes a directory; a link is removed as the link, its target stays. Throws TargetExists,
    // NoSuchDir, AccessDenied, Remove_DirNotEmpty, Remove_Failed and what clear throws.
    static void remove(const std::string& dir, unsigned flags);
    // Removes everything below a directory, through directory handles: links are removed as
    // themselves, never entered, also one swapped in for a directory meanwhile; a sub-directory we may
    // not list is made readable, a read-only one is made writable with RemoveForce and otherwise stays
    // with all it holds. Throws TargetExists, NoSuchDir, ReadDir_Failed and Clear_Failed with the
    // number of entries of the directory itself that resisted.
    static void clear(const std::string& dir, unsigned flags);
};

} // namespace VeltorFilelib
