// Single-file operations on portable paths ('/' as separator) that report failure by exceptions:
// existence, links, permissions, removal, renaming and numbered free names.
#pragma once
#include "Exception.h"
#include "FileErrors.h"

#include <string>

namespace VeltorFilelib {

class FileTools {
public:
    VELTOR_ERROR_TYPE(NoSuchFile);
    VELTOR_ERROR_TYPE(Remove_Failed);
    VELTOR_ERROR_TYPE(Rename_Failed);
    VELTOR_ERROR_TYPE(TooManyEnumeratedFiles);

    // Permission bits.
    static constexpr unsigned Read = 1;
    static constexpr unsigned Write = 2;
    // remove: take write permission when deletion is denied.
    static constexpr unsigned RemoveForce = 1;
    // rename (and stringToFile): an existing target may be replaced.
    static constexpr unsigned ReplaceExisting = 2;

    // Non-empty and names a file or directory.
    static bool exists(const std::string& path);
    // Exists and is no directory; a link that leads to a directory is no file.
    static bool isFile(const std::string& path);
    // A shell shortcut (a file with the extension "lnk", any case) or a reparse point / symbolic link.
    static bool isLink(const std::string& path);
    // The target of a link as a portable, normalised path; a target without root is taken relative to
    // the link's directory. A shortcut that cannot be read, a plain file and a reparse point other
    // than a symbolic link give the link's own directory. Throws NoSuchFile, AccessDenied.
    static std::string getLinkTarget(const std::string& path);
    // Whether the path may be read (bit 1) and written (bit 2). Throws NoSuchFile, AccessDenied.
    static bool havePermission(const std::string& path, unsigned bits);
    // Sets the read/write flags; without Write the path becomes read-only. Throws NoSuchFile,
    // AccessDenied.
    static void setPermission(const std::string& path, unsigned bits);
    // Deletes a file, two attempts with a 25 ms pause. Throws AccessDenied (a read-only file without
    // RemoveForce), NoSuchFile (operation "setPermission" for a missing file), Remove_Failed.
    static void remove(const std::string& path, unsigned flags);
    // Renames a file; onto an existing file only with ReplaceExisting. A file renamed onto itself stays
    // as it is (Windows: a name that differs in case only renames it). Into another directory the file
    // first takes a temporary name beside the target, so the old target goes only when the new one is
    // in place beside it; should the old target resist removal, the file goes back where it was.
    // Throws NoSuchFile, TargetExists, Rename_Failed and what remove throws.
    static void rename(const std::string& from, const std::string& to, unsigned flags);
    // The first free name dir/base-N.ext (N from 1, zero-padded to `width`) for an existing path; a
    // missing or empty path comes back unchanged. Throws TooManyEnumeratedFiles after 99999.
    static std::string nextEnumeration(const std::string& path, unsigned width);
    // The whole file as bytes (a gzip file uncompressed). Throws NoSuchFile and the file objects' errors.
    static std::string fileToString(const std::string& path);
    // Writes data under a free numbered name beside path, then renames it onto path (an existing file
    // only with ReplaceExisting), so an existing file is never truncated in place. Throws TargetExists.
    static void stringToFile(const std::string& data, const std::string& path, unsigned flags);
};

} // namespace VeltorFilelib
