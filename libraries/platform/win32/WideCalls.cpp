#include "WideCalls.h"

#include <climits>
#include <cwchar>

namespace VeltorPlatform {
namespace Wide {

std::wstring toWide(const char* text, std::size_t length) {
    std::wstring result;
    if (length == 0 || length > INT_MAX)
        return result;
    const int size = static_cast<int>(length);
    int units = ::MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
    if (units <= 0)
        return result;
    result.resize(static_cast<std::size_t>(units));
    units = ::MultiByteToWideChar(CP_ACP, 0, text, size, &result[0], units);
    result.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
    return result;
}

std::string toNarrow(const wchar_t* text, std::size_t length) {
    std::string result;
    if (length == 0 || length > INT_MAX)
        return result;
    const int size = static_cast<int>(length);
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return result;
    result.resize(static_cast<std::size_t>(bytes));
    bytes = ::WideCharToMultiByte(CP_ACP, 0, text, size, &result[0], bytes, nullptr, nullptr);
    result.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    return result;
}

std::string toNarrow(const wchar_t* text) {
    return toNarrow(text, std::wcslen(text));
}

std::wstring consoleText(const char* text, std::size_t length) {
    const std::wstring wide = toWide(text, length);
    std::wstring result;
    result.reserve(wide.size() + wide.size() / 16);
    for (wchar_t unit : wide) {
        if (unit == L'\n')
            result += L'\r';
        result += unit;
    }
    return result;
}

HANDLE createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return ::CreateFileW(toWide(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

HANDLE findFirstFile(const std::string& pattern, WIN32_FIND_DATAW& data) {
    const std::wstring wide = toWide(pattern);
    HANDLE handle = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)
        handle = ::FindFirstFileW(wide.c_str(), &data);
    return handle;
}

DWORD getFileAttributes(const std::string& path) {
    return ::GetFileAttributesW(toWide(path).c_str());
}

BOOL deleteFile(const std::string& path) {
    return ::DeleteFileW(toWide(path).c_str());
}

BOOL createDirectory(const std::string& path) {
    return ::CreateDirectoryW(toWide(path).c_str(), nullptr);
}

BOOL moveFile(const std::string& from, const std::string& to, DWORD flags) {
    return ::MoveFileExW(toWide(from).c_str(), toWide(to).c_str(), flags);
}

} // namespace Wide
} // namespace VeltorPlatform
