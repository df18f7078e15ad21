// Path facts of the operating system: separators, current directory, Windows directory, long names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace VeltorPlatform {

enum class PathStyle { Windows, Posix };

// Windows: '\\' is native and '/' is accepted as the other separator; drive letters and
// "\\\\server\\share" names exist.
// POSIX: '/' is native and a '\\' in a path is read as a separator too (paths written on Windows keep
// working); there are no drive letters and no "\\\\server" names, absolute means a leading separator.
#ifdef _WIN32
inline constexpr PathStyle kPathStyle = PathStyle::Windows;
inline constexpr char kNativeSeparator = '\\';
inline constexpr char kOtherSeparator = '/';
#else
inline constexpr PathStyle kPathStyle = PathStyle::Posix;
inline constexpr char kNativeSeparator = '/';
inline constexpr char kOtherSeparator = '\\';
#endif

// The one path grammar: every parser of a root, an absolute path or a joined name uses these.

// A separator of this system's paths: '/' on POSIX, where a backslash left in a path (a link's target,
// say) is part of a name; '/' and '\' on Windows.
constexpr bool isPathSeparator(char c) {
    return c == '/' || (c == '\\' && kPathStyle == PathStyle::Windows);
}
// Where the names of `path` begin after its root: POSIX "/" (1); Windows "C:\" (3), "C:" (2, that
// drive's current directory), "\\server\share\" (after the share) or "\" (1, the current drive's
// root); 0 for a relative path. `root` (when given) gets the root's text with native separators, "."
// for a relative path.
std::size_t rootLength(const std::string& path, std::string* root = nullptr);
// Whether `path` names one place whatever the current directory and drive of the process: POSIX a
// leading '/'; Windows a drive letter with a separator after it, or "\\server\share".
bool isAbsolutePath(const std::string& path);
// `dir` and `name` with one native separator between them (none added where `dir` ends in one, or is
// empty).
std::string joinPath(const std::string& dir, std::string_view name);
// The same, appended to `out`.
void appendJoinedPath(std::string& out, const std::string& dir, std::string_view name);

// The process's current directory as the system reports it; false when it cannot be read.
bool getCurrentDirectory(std::string& directory);

// Changes the process's current directory; false with the Windows error number on failure.
bool setCurrentDirectory(const std::string& directory, std::uint32_t& error);

// GetWindowsDirectoryA: writes the directory and answers its length, or the size needed (terminator
// included) when the buffer is too small, or 0 on failure.
// POSIX: there is no Windows directory; always 0.
std::uint32_t getWindowsDirectory(char* buffer, std::uint32_t bufferSize);

// GetLongPathNameA: writes the long form of an existing path and answers its length, or the size
// needed (terminator included) when the buffer is too small, or 0 when the path does not exist.
// POSIX: names have no short form; the answer is the path itself when it exists (a symbolic link
// counts, even a dangling one) and 0 otherwise.
std::uint32_t getLongPathName(const char* path, char* buffer, std::uint32_t bufferSize);

} // namespace VeltorPlatform
