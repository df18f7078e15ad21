// Stateless file-system helpers on narrow path strings. None of them throws: failures show in the
// result. The cleaning engine touches the file system only through these.
#pragma once
#include "Wildcard.h"

#include <cstddef>
#include <string>
#include <string_view>

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

    // ---- Directory and file operations -----------------------------------------------------------
};

} // namespace VeltorFilelib
