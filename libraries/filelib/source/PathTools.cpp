#include "PathTools.h"

#include "FileTools.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include <new>
#include <vector>

namespace VeltorFilelib {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || lowerAscii(text[i]) != lowerAscii(prefix[i]))
            return false;
    }
    return true;
}

bool equalsNoCase(const std::string& text, const char* other) {
    return startsWithNoCase(text, other) && text.size() == std::char_traits<char>::length(other);
}

bool hasDriveColon(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

// The one place where paths meet links (shortcuts and reparse points). A link that cannot be read
// (gone meanwhile, access denied) is left in the path as it is: resolving is a best effort and reports
// nothing of its own.
bool readLink(const std::string& path, std::string& target) {
    try {
        if (!FileTools::isLink(path))
            return false;
        target = FileTools::getLinkTarget(path);
        return !target.empty();
    } catch (const VeltorCorelib::Exception&) {
        return false;
    }
}

// A reference's value: the environment variable of that name. An empty value counts as unset, as
// Windows itself cannot hold one.
bool referenceValue(const std::string& name, std::string& value) {
    return !name.empty() && VeltorPlatform::getEnvironment(name, value) && !value.empty();
}

} // namespace

std::string PathTools::normalize(const std::string& path, unsigned flags) {
    if (path.empty())
        return std::string();
    std::string result = path;
    for (char& c : result) {
        if (c == '\\')
            c = '/';
    }
    if (flags & Normalize_Collapse) {
        std::string collapsed;
        collapsed.reserve(result.size());
        for (std::size_t i = 0; i < result.size(); ++i) {
            if (i >= 2 && result[i] == '/' && collapsed.back() == '/')
                continue;
            collapsed += result[i];
        }
        result = longPath(collapsed);
    }
    if ((flags & Normalize_Contract) && !result.empty() && !isRoot(result))
        result = contract(result);
    if (flags & Normalize_Expand)
        result = expand(result);
    if ((flags & Normalize_ResolveLinks) && !result.empty() && !isRoot(result))
        result = resolveLinks(result);
    if (flags & Normalize_LongPath)
        result = longPath(result);
    return result;
}

std::string PathTools::contract(const std::string& path) {
    const std::vector<std::string> parts = components(path);
    if (parts.empty())
        return std::string();
    std::vector<bool> kept(parts.size(), true);
    std::size_t last = 0;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == ".") {
            kept[i] = false;
        } else if (part == "..") {
            if (parts[last] == "..") {
                last = i;
                continue;
            }
            kept[i] = false;
            kept[last] = false;
            bool found = false;
            while (last > 0) {
                --last;
                if (kept[last] && !parts[last].empty()) {
                    found = true;
                    break;
                }
            }
            if (!found)
                VELTOR_THROW(
                    Contract_InvalidPath,
                    "@path-tools.contract.invalid-path{Trying to contract \"%\" - which is an invalid path};",
                    path);
        } else if (!part.empty()) {
            last = i;
        }
    }
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!kept[i] || parts[i].empty())
            continue;
        if (!result.empty() && result.back() != '/')
            result += '/';
        result += parts[i];
    }
    return result;
}

std::string PathTools::expand(const std::string& path) {
    if (equalsNoCase(path, "/c:"))
        return "C:";
    if (path == "/?/?")
        return std::string();

    std::string result;
    std::size_t from = 0;
    if (startsWithNoCase(path, "/systemroot")) {
        char buffer[261];
        std::uint32_t length = VeltorPlatform::getWindowsDirectory(buffer, sizeof buffer);
        if (length > 0 && length < sizeof buffer) {
            result = normalize(std::string(buffer, length), Normalize_Collapse | Normalize_Contract |
                                                                Normalize_Expand | Normalize_LongPath);
            from = 11;
        }
    }

    std::string value;
    const std::size_t size = path.size();
    for (std::size_t i = from; i < size;) {
        const char c = path[i];
        if (c == '%') {
            if (i + 1 < size && path[i + 1] == '%') {
                result += '%';
                i += 2;
                continue;
            }
            std::size_t end = path.find_first_of("%/", i + 1);
            if (end == std::string::npos || path[end] == '/') {
                result += '%';
                ++i;
                continue;
            }
            if (referenceValue(path.substr(i + 1, end - i - 1), value))
                result += value;
            else
                result.append(path, i, end - i + 1);
            i = end + 1;
        } else if (c == '$') {
            if (i + 1 < size && path[i + 1] == '$') {
                result += '$';
                i += 2;
                continue;
            }
            std::size_t end = path.find_first_of("/$", i + 1);
            if (end == std::string::npos)
                end = size;
            if (referenceValue(path.substr(i + 1, end - i - 1), value))
                result += value;
            else
                result.append(path, i, end - i);
            i = end;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

std::string PathTools::longPath(const std::string& path) {
    if (path.find('~') == std::string::npos)
        return path;
    try {
        std::vector<char> buffer(256);
        for (;;) {
            std::uint32_t length = VeltorPlatform::getLongPathName(path.c_str(), buffer.data(),
                                                                   static_cast<std::uint32_t>(buffer.size()));
            if (length == 0)
                VELTOR_THROW(
                    LongPath_NoSuchPath,
                    "@path-tools.long-path.no-such-path{Trying to get long path from \"%\" but no such "
                    "path exists};",
                    path);
            if (length < buffer.size())
                return std::string(buffer.data(), length);
            // Each answer asks for more than the last buffer held, so this ends.
            buffer.resize(static_cast<std::size_t>(length) + 1);
        }
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(LongPath_OutOfMemory);
    }
}

std::string PathTools::resolveLinks(const std::string& path) {
    std::string soFar;
    std::string target;
    for (const std::string& part : components(path)) {
        if (!soFar.empty() && soFar.back() != '/')
            soFar += '/';
        soFar += part;
        // A root or a name ending in '/' (from a doubled '/') is never taken for a link.
        if (!soFar.empty() && soFar.back() != '/' && !isRoot(soFar) && readLink(soFar, target))
            soFar = target;
    }
    return soFar;
}

std::string PathTools::makeAbsolute(const std::string& path, const std::string& base) {
    if (path.empty() || base.empty() || path[0] == '/' || hasDriveColon(path))
        return path;
    return contract(base + "/" + path);
}

std::string PathTools::fileName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathTools::dirName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string PathTools::root(const std::string& path) {
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        std::size_t third = path.find('/', 2);
        return third == std::string::npos ? path : path.substr(0, third);
    }
    if (!path.empty() && path[0] == '/')
        return "/";
    if (path.size() == 2 && path[1] == ':')
        return path;
    std::size_t colon = path.find(':');
    std::size_t slash = path.find('/');
    if (colon != std::string::npos && slash == colon + 1)
        return path.substr(0, colon + 1);
    return std::string();
}

std::string PathTools::extension(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return std::string();
    return path.substr(dot + 1);
}

void PathTools::removeExtension(std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos)
        path.erase(dot);
}

bool PathTools::isRoot(const std::string& path) {
    return !path.empty() && (path[0] == '/' || hasDriveColon(path)) && path == root(path);
}

std::vector<std::string> PathTools::components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    if (!path.empty() && path[0] == '/') {
        parts.push_back(root(path));
        from = parts.back().size();
    } else if (path.size() == 3 && path[1] == ':' && path[2] == '/') {
        parts.push_back(root(path));
        from = parts.back().size();
    }
    if (from < path.size() && path[from] == '/' && from > 0)
        ++from;
    while (from < path.size()) {
        std::size_t slash = path.find('/', from);
        if (slash == std::string::npos) {
            parts.push_back(path.substr(from));
            break;
        }
        parts.push_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    return parts;
}

} // namespace VeltorFilelib
