#include "platform/Paths.h"

namespace VeltorPlatform {

std::size_t rootLength(const std::string& path, std::string* root) {
    const std::string separator(1, kNativeSeparator);
    auto give = [root](std::string text, std::size_t after) {
        if (root != nullptr)
            *root = std::move(text);
        return after;
    };
    if (path.empty())
        return give(".", 0);
    if constexpr (kPathStyle == PathStyle::Posix)
        return isPathSeparator(path[0]) ? give(separator, 1) : give(".", 0);
    if (path.size() >= 2 && path[1] == ':') {
        const bool separated = path.size() > 2 && isPathSeparator(path[2]);
        return give(path.substr(0, 2) + (separated ? separator : std::string()), separated ? 3 : 2);
    }
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        // "\\server\share": both names belong to the root.
        std::size_t end = path.find_first_of("/\\", 2);
        if (end != std::string::npos)
            end = path.find_first_of("/\\", end + 1);
        const std::size_t after = end == std::string::npos ? path.size() : end + 1;
        std::string text = path.substr(0, end == std::string::npos ? path.size() : end) + separator;
        for (char& c : text)
            if (c == '/')
                c = '\\';
        return give(std::move(text), after);
    }
    if (isPathSeparator(path[0]))
        return give(separator, 1);
    return give(".", 0);
}

bool isAbsolutePath(const std::string& path) {
    if constexpr (kPathStyle == PathStyle::Posix)
        return !path.empty() && path[0] == '/';
    if (path.size() >= 3) {
        const char drive = static_cast<char>(path[0] | 0x20);
        if (drive >= 'a' && drive <= 'z' && path[1] == ':' && isPathSeparator(path[2]))
            return true;
        return isPathSeparator(path[0]) && isPathSeparator(path[1]) && !isPathSeparator(path[2]);
    }
    return false;
}

std::string joinPath(const std::string& dir, std::string_view name) {
    std::string path;
    path.reserve(dir.size() + 1 + name.size());
    appendJoinedPath(path, dir, name);
    return path;
}

void appendJoinedPath(std::string& out, const std::string& dir, std::string_view name) {
    out += dir;
    if (!dir.empty() && !isPathSeparator(dir.back()))
        out += kNativeSeparator;
    out += name;
}

} // namespace VeltorPlatform
