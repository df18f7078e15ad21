// Path facts of the operating system: separators, current directory, Windows directory, long names.
#pragma once
#include <cstdint>
#include <string>

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
