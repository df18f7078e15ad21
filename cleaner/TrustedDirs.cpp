#include "TrustedDirs.h"

#include "FsTools.h"

#include <set>
#include <vector>

namespace Veltor {

using VeltorFilelib::FsTools;
using VeltorPlatform::DirHandle;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

std::vector<std::string>& roots() {
    static std::vector<std::string> list;
    return list;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string unified(const std::string& path) {
    std::string result = path;
    FsTools::unifySeparators(result);
    // A trailing separator names the same directory; the root of the file system keeps its own.
    while (result.size() > 1 && isSeparator(result.back()) && result[result.size() - 2] != ':')
        result.pop_back();
    return result;
}

// `path` is `root` or lies below it; `rest` is what follows the root.
bool below(const std::string& path, const std::string& root, std::string& rest) {
    if (path.compare(0, root.size(), root) != 0)
        return false;
    if (path.size() == root.size()) {
        rest.clear();
        return true;
    }
    if (!isSeparator(path[root.size()]) && !isSeparator(root.back()))
        return false;
    rest = path.substr(root.size());
    return true;
}

TrustedDirs::Outcome outcomeOf(std::uint32_t error) {
    if (error == FsError::Success)
        return TrustedDirs::Outcome::Opened;
    if (error == FsError::IsALink || error == FsError::NotADirectory)
        return TrustedDirs::Outcome::Refused;
    if (error == FsError::FileNotFound || error == FsError::PathNotFound)
        return TrustedDirs::Outcome::Missing;
    return TrustedDirs::Outcome::Unreadable;
}

} // namespace

void TrustedDirs::trust(const std::string& root) {
    if (!root.empty())
        roots().push_back(unified(root));
}

static std::set<std::string>& refusals() {
    static std::set<std::string> reported;
    return reported;
}

void TrustedDirs::forgetAll() {
    roots().clear();
    refusals().clear();
}

bool TrustedDirs::firstRefusal(const std::string& path) {
    return refusals().insert(path).second;
}

TrustedDirs::Outcome TrustedDirs::openChild(const DirHandle& parent, const std::string& name, DirHandle& out,
                                            std::uint32_t* error) {
    const std::uint32_t result = out.openChild(parent, name);
    if (error != nullptr)
        *error = result;
    return outcomeOf(result);
}

TrustedDirs::Opened TrustedDirs::open(const std::string& path) {
    Opened result;
    const std::string target = unified(path);
    if (target.empty())
        return result;
    std::string rest;
    for (const std::string& root : roots()) {
        std::string after;
        if (below(target, root, after) && (result.root.empty() || root.size() > result.root.size())) {
            result.root = root;
            rest = after;
        }
    }
    if (result.root.empty()) {
        // No trusted root above it: the parent is taken as given, the directory itself is not followed.
        const std::string::size_type cut = target.find_last_of("/\\");
        if (cut == std::string::npos) {
            result.root = ".";
            rest = target;
        } else {
            result.root = target.substr(0, cut == 0 || target[cut - 1] == ':' ? cut + 1 : cut);
            rest = target.substr(cut);
        }
    }
    DirHandle dir;
    const std::uint32_t rootError = dir.openRoot(result.root);
    if (rootError != FsError::Success) {
        result.outcome = outcomeOf(rootError);
        if (result.outcome == Outcome::Refused)
            result.refusedAt = result.root;
        return result;
    }
    std::string reached = result.root;
    std::string::size_type at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && isSeparator(rest[at]))
            ++at;
        std::string::size_type end = at;
        while (end < rest.size() && !isSeparator(rest[end]))
            ++end;
        const std::string name = rest.substr(at, end - at);
        at = end;
        if (name.empty() || name == ".")
            continue;
        if (!isSeparator(reached.back()))
            reached += FsTools::separator;
        reached += name;
        DirHandle child;
        const Outcome step = name == ".." ? Outcome::Refused : openChild(dir, name, child);
        if (step != Outcome::Opened) {
            result.outcome = step;
            if (step == Outcome::Refused)
                result.refusedAt = reached;
            return result;
        }
        dir = std::move(child);
    }
    result.outcome = Outcome::Opened;
    result.dir = std::move(dir);
    return result;
}

} // namespace Veltor
