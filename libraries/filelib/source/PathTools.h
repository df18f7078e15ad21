// Path functions on the portable form ('/' as separator) that report failures by throwing.
#pragma once
#include "Exception.h"

#include <string>
#include <vector>

namespace VeltorFilelib {

class PathTools {
public:
    VELTOR_ERROR_TYPE(Contract_InvalidPath);
    VELTOR_ERROR_TYPE(LongPath_NoSuchPath);
    VELTOR_ERROR_TYPE(LongPath_OutOfMemory);

    // Steps of normalize, applied in this order whatever the order of the bits.
    enum NormalizeFlags : unsigned {
        Normalize_Collapse = 1,     // drop doubled '/' (a leading "//" stays), then longPath
        Normalize_Contract = 2,     // contract, unless the path is a root
        Normalize_Expand = 4,       // expand
        Normalize_ResolveLinks = 8, // resolveLinks, unless the path is a root
        Normalize_LongPath = 16,    // longPath
    };

    // Every '\\' becomes '/', then the selected steps; an empty path gives an empty result.
    static std::string normalize(const std::string& path, unsigned flags);
    // Resolves "." and ".." components; the first component is kept as it is, a leading ".." of a
    // relative path stays, a ".." that would climb above the first component throws
    // Contract_InvalidPath.
    static std::string contract(const std::string& path);
    // "/c:" gives "C:", "/?/?" gives "", "/systemroot..." starts with the Windows directory; then
    // %NAME% and $NAME references ("%%" and "$$" are literal) take the environment variable of that
    // name, or stay as written when there is none.
    // POSIX: there is no Windows directory; "/systemroot" stays.
    static std::string expand(const std::string& path);
    // The long form of a path holding '~' (a short-name marker); other paths are returned as they are.
    // Throws LongPath_NoSuchPath when the path does not exist.
    // POSIX: there are no short names; a path holding '~' is returned when it exists.
    static std::string longPath(const std::string& path);
    // Replaces every leading part of the path that is a link (shortcut or reparse point) by its target.
    static std::string resolveLinks(const std::string& path);
    // contract(base + "/" + path) for a relative path and a non-empty base; otherwise the path.
    static std::string makeAbsolute(const std::string& path, const std::string& base);

    // The text after the last '/' (the whole path when there is none).
    static std::string fileName(const std::string& path);
    // The text before the last '/'; "/" when that is the first character; empty without a '/'.
    static std::string dirName(const std::string& path);
    // "x:" for a drive path, "/" for a path with one leading '/', "//server" for a path with two,
    // empty for a relative path.
    static std::string root(const std::string& path);
    // The text after the last '.' when no '/' follows it.
    static std::string extension(const std::string& path);
    // Drops the extension and its '.'.
    static void removeExtension(std::string& path);
    static bool isRoot(const std::string& path);
    // The root (for a path starting with '/') followed by the components between '/'; a doubled '/'
    // gives an empty component.
    static std::vector<std::string> components(const std::string& path);
};

} // namespace VeltorFilelib
