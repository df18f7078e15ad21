// Path operations of FsTools: pure string work plus the few system facts they need.
#include "FsTools.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace VeltorFilelib {

namespace {

constexpr char kSep = VeltorPlatform::kNativeSeparator;
constexpr char kOther = VeltorPlatform::kOtherSeparator;
constexpr bool kWindows = VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Windows;

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

// The value of a set, non-empty environment variable. An empty value counts as unset, as Windows
// itself cannot hold one.
bool environmentValue(const std::string& name, std::string& value) {
    return !name.empty() && VeltorPlatform::getEnvironment(name, value) && !value.empty();
}

bool isDrive(std::string_view component) {
    return component.size() == 2 && component[1] == ':';
}

} // namespace

const char FsTools::separator = kSep;

void FsTools::unifySeparators(std::string& path) {
    for (char& c : path) {
        if (c == kOther)
            c = kSep;
    }
}

void FsTools::addSeparator(std::string& path) {
    if (!path.empty() && !isSeparator(path.back()))
        path += kSep;
}

void FsTools::stripSeparators(std::string& path) {
    unifySeparators(path);
    std::size_t end = path.find_last_not_of(kSep);
    path.erase(end == std::string::npos ? 0 : end + 1);
}

void FsTools::normalize(std::string& path) {
    if (path.empty())
        return;
    unifySeparators(path);
    if (path == "." || (path.size() == 2 && path[0] == '.' && path[1] == kSep)) {
        path = currentDir();
        if (path.empty())
            return;
    }
    const bool trailing = path.back() == kSep;
    const bool leading = path.front() == kSep;
    const bool unc = kWindows && path.size() > 1 && path[0] == kSep && path[1] == kSep;

    std::vector<std::string_view> parts;
    const std::string_view whole(path);
    for (std::size_t begin = 0; begin < whole.size();) {
        std::size_t end = whole.find(kSep, begin);
        if (end == std::string_view::npos)
            end = whole.size();
        if (end > begin)
            parts.push_back(whole.substr(begin, end - begin));
        begin = end + 1;
    }

    // The root of an absolute path is never climbed over: a drive, or the server and share of a UNC
    // path. Otherwise "C:\\a\\..\\.." would become a relative path and name whatever lies below the
    // current directory.
    std::size_t rootCount = 0;
    bool driveWithSeparator = false;
    if (kWindows && unc) {
        while (rootCount < 2 && rootCount < parts.size() && parts[rootCount] != "." &&
               parts[rootCount] != "..")
            ++rootCount;
    } else if (kWindows && !leading && !parts.empty() && isDrive(parts[0])) {
        rootCount = 1;
        driveWithSeparator = path.size() > 2 && path[2] == kSep;
    }
    const bool rooted = leading || rootCount > 0;

    std::vector<std::string_view> kept(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(rootCount));
    for (std::size_t i = rootCount; i < parts.size(); ++i) {
        std::string_view part = parts[i];
        if (part == ".")
            continue;
        if (part == "..") {
            if (kept.size() > rootCount && kept.back() != "..")
                kept.pop_back();
            else if (!rooted)
                kept.push_back(part);
            continue;
        }
        kept.push_back(part);
    }

    std::string result;
    if (leading)
        result += kSep;
    if (unc)
        result += kSep;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            result += kSep;
        result.append(kept[i].data(), kept[i].size());
    }
    if (result.empty()) {
        // A relative path that resolves to nothing is the current directory, not the root of the drive.
        result = ".";
    }
    if ((trailing || (driveWithSeparator && kept.size() == 1)) && result.back() != kSep)
        result += kSep;
    path.swap(result);
}

std::string FsTools::currentDir() {
    std::string directory;
    if (!VeltorPlatform::getCurrentDirectory(directory))
        return std::string();
    unifySeparators(directory);
    return directory;
}

bool FsTools::isAbsolute(const std::string& path) {
    if (!kWindows)
        return !path.empty() && isSeparator(path[0]);
    static const char* const patterns[] = {"?*:\\*", "?*:/*", "?*:*", "\\\\?*\\*", "//?*/*"};
    for (const char* pattern : patterns) {
        if (VeltorCorelib::matchWildcard(path, pattern))
            return true;
    }
    return false;
}

void FsTools::makeAbsolute(std::string& path, const std::string& base) {
    unifySeparators(path);
    if (isAbsolute(path))
        return;
    std::string joined = base;
    unifySeparators(joined);
    addSeparator(joined);
    joined += path;
    normalize(joined);
    path.swap(joined);
}

void FsTools::expand(std::string& path) {
    if (path.empty())
        return;
    unifySeparators(path);
    std::string value;

    // %NAME% references. The search goes on after an inserted value, so values are never expanded again.
    for (std::size_t from = 0;;) {
        std::size_t open = path.find('%', from);
        if (open == std::string::npos)
            break;
        std::size_t close = path.find('%', open + 1);
        if (close == std::string::npos)
            break;
        std::string name = path.substr(open + 1, close - open - 1);
        if (environmentValue(name, value)) {
            path.replace(open, close - open + 1, value);
            from = open + value.size();
        } else {
            from = close + 1;
        }
    }

    // $NAME references, ended by a separator that stays.
    for (std::size_t from = 0;;) {
        std::size_t dollar = path.find('$', from);
        if (dollar == std::string::npos)
            break;
        std::size_t end = path.find(kSep, dollar + 1);
        if (end == std::string::npos)
            break;
        std::string name = path.substr(dollar + 1, end - dollar - 1);
        if (environmentValue(name, value)) {
            path.replace(dollar, end - dollar, value);
            from = dollar + value.size();
        } else {
            from = end;
        }
    }

    if (!kWindows)
        return;
    if (equalsNoCase(path, "\\c:") || equalsNoCase(path, "/c:")) {
        path = "C:";
    } else if (equalsNoCase(path, "\\systemroot") || equalsNoCase(path, "/systemroot")) {
        char buffer[261];
        std::uint32_t length = VeltorPlatform::getWindowsDirectory(buffer, sizeof buffer);
        if (length > 0 && length < sizeof buffer)
            path.assign(buffer, length);
    } else if (path == "\\??") {
        path.clear();
    }
}

void FsTools::longPath(std::string& path) {
    if (path.empty())
        return;
    unifySeparators(path);
    if (path.size() > 1 && path[0] == kSep && path[1] == kSep)
        return;
    char small[50];
    std::uint32_t length = VeltorPlatform::getLongPathName(path.c_str(), small, sizeof small);
    if (length == 0)
        return;
    if (length < sizeof small) {
        path.assign(small, length);
        return;
    }
    const std::uint32_t size = length + 1;
    std::unique_ptr<char[]> large(new (std::nothrow) char[size]);
    if (!large)
        return;
    length = VeltorPlatform::getLongPathName(path.c_str(), large.get(), size);
    // The name may have changed between the two calls; then the path stays as it was.
    if (length > 0 && length < size)
        path.assign(large.get(), length);
}

std::string FsTools::extension(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return std::string();
    std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos && slash > dot)
        return std::string();
    return path.substr(dot + 1);
}

int FsTools::compareNoCase(const std::string& a, const std::string& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool FsTools::isShortcut(const std::string& path) {
    return equalsNoCase(extension(path), "lnk");
}

} // namespace VeltorFilelib
