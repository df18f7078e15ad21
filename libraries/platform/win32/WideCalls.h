// Narrow text to and from UTF-16, and the file calls of the cleaning made through their W forms.
//
// The program's narrow strings are in the process code page: UTF-8 under the application manifest
// (resources/Application.manifest) on Windows 10 version 1903 and later, the machine's ANSI code page
// on older Windows. Converting with CP_ACP keeps them right on both.
//
// Why the W forms: under the manifest the A file calls see UTF-8 names on Windows and under Wine, but
// Wine (8.0) still refuses an A path of 260 characters or more (error 206) although the manifest
// declares longPathAware; its W calls take such paths, as Windows' A and W calls both do where long
// paths are enabled. Paths that the system cannot take fail with its own error either way.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace VeltorPlatform {
namespace Wide {

// Whole-string conversions; text the code page cannot hold becomes U+FFFD or '?', never a shorter string.
std::wstring toWide(const char* text, std::size_t length);
inline std::wstring toWide(const std::string& text) {
    return toWide(text.data(), text.size());
}
std::string toNarrow(const wchar_t* text, std::size_t length);
std::string toNarrow(const wchar_t* text); // up to the terminating NUL

// The console form of narrow text: UTF-16 with each "\n" as "\r\n", the line end the C runtime writes.
std::wstring consoleText(const char* text, std::size_t length);

// The W calls with narrow paths; results and GetLastError as the calls of the same name give them.
HANDLE createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
// FindFirstFileExW with the basic information, falling back to FindFirstFileW where that is refused
// (ERROR_INVALID_PARAMETER on Windows before 7).
HANDLE findFirstFile(const std::string& pattern, WIN32_FIND_DATAW& data);
DWORD getFileAttributes(const std::string& path);
BOOL deleteFile(const std::string& path);
BOOL createDirectory(const std::string& path);
BOOL moveFile(const std::string& from, const std::string& to, DWORD flags);

} // namespace Wide
} // namespace VeltorPlatform
