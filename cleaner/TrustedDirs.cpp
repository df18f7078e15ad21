#include "TrustedDirs.h"

#include "FsTools.h"
#include "platform/Paths.h"

#include <vector>

namespace Veltor {

using VeltorFilelib::FsTools;
using VeltorPlatform::DirHandle;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// As many links as the system itself follows in one path before it calls it a loop.
constexpr int kMaxLinks = 40;

using VeltorPlatform::isPathSeparator;

// `path` is `base` or lies below it; `rest` is what follows the base.
bool below(const std::string& path, const std::string& base, std::string& rest) {
    if (path.compare(0, base.size(), base) != 0)
        return false;
    if (path.size() == base.size()) {
        rest.clear();
        return true;
    }
    if (!isPathSeparator(path[base.size()]) && !isPathSeparator(base.back()))
        return false;
    rest = path.substr(base.size());
    return true;
}

std::string namingBaseOf(const std::string& path, const std::vector<std::string>& namingBases) {
    std::string base;
    std::string rest;
    for (const std::string& candidate : namingBases)
        if (candidate.size() > base.size() && below(path, candidate, rest))
            base = candidate;
    if (!base.empty())
        return base;
    const std::string::size_type cut = path.find_last_of(FsTools::separator);
    if (cut == std::string::npos)
        return ".";
    return path.substr(0, cut == 0 || path[cut - 1] == ':' ? cut + 1 : cut);
}

TrustedDirs::Outcome outcomeOf(std::uint32_t error) {
    if (error == FsError::Success)
        return TrustedDirs::Outcome::Opened;
    if (error == FsError::IsALink || error == FsError::NotADirectory)
        return TrustedDirs::Outcome::Refused;
    // A name longer than any the file system holds names nothing there.
    if (error == FsError::FileNotFound || error == FsError::PathNotFound || error == FsError::NameTooLong)
        return TrustedDirs::Outcome::Missing;
    return TrustedDirs::Outcome::Unreadable;
}

// One name still to be resolved, and whether it came from a link's target (where ".." is allowed).
struct Step {
    std::string name;
    bool fromLink;
};

// Puts the names of text[from..] before the ones still to come: `pending` is used from its back.
void pushNames(std::vector<Step>& pending, const std::string& text, std::string::size_type from,
               bool fromLink) {
    std::vector<Step> names;
    std::string::size_type at = from;
    while (at < text.size()) {
        std::string::size_type end = at;
        while (end < text.size() && !isPathSeparator(text[end]))
            ++end;
        if (end > at && text.compare(at, end - at, ".") != 0)
            names.push_back(Step{text.substr(at, end - at), fromLink});
        at = end + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
}

} // namespace

TrustedDirs::Outcome TrustedDirs::openChild(const DirHandle& parent, const std::string& name, DirHandle& out,
                                            std::uint32_t* error) {
    const std::uint32_t result = out.openChild(parent, name);
    if (error != nullptr)
        *error = result;
    return outcomeOf(result);
}

std::string TrustedDirs::unified(const std::string& path) {
    std::string result = path;
    FsTools::unifySeparators(result);
    // A trailing separator names the same directory; the root of the file system keeps its own.
    while (result.size() > 1 && isPathSeparator(result.back()) && result[result.size() - 2] != ':')
        result.pop_back();
    return result;
}

TrustedDirs::Opened TrustedDirs::open(const std::string& path, const std::vector<std::string>& namingBases,
                                      const Opened* above, std::string::size_type namesFrom,
                                      const Options& options) {
    Opened result;
    const std::string target = unified(path);
    if (target.empty())
        return result;
    result.root = namingBaseOf(target, namingBases);
    auto stop = [&result](std::uint32_t error, const std::string& at, Refusal why, bool fromLink = false) {
        result.outcome = outcomeOf(error);
        result.error = error;
        result.missingTarget = result.outcome == Outcome::Missing && fromLink;
        if (result.outcome == Outcome::Refused) {
            result.refusedAt = at;
            result.refusal = why;
        }
        return std::move(result);
    };
    // The directories of the way so far, the last one on top: a ".." of a link's target goes back one.
    std::vector<DirHandle> way(1);
    std::vector<Step> pending;
    std::string root;
    if (above != nullptr && above->outcome == Outcome::Opened) {
        way = above->way;
        pushNames(pending, target, namesFrom, false);
    } else {
        const std::size_t after = VeltorPlatform::rootLength(target, &root);
        if (const std::uint32_t error = way.back().openRoot(root))
            return stop(error, root, Refusal::NotADirectory);
        pushNames(pending, target, after, false);
    }
    int links = 0;
    while (!pending.empty()) {
        const Step step = std::move(pending.back());
        pending.pop_back();
        const DirHandle& holder = way.back();
        const std::string reached = VeltorPlatform::joinPath(holder.path(), step.name);
        if (step.name == "..") {
            if (!step.fromLink)
                return stop(FsError::NotADirectory, reached, Refusal::NotADirectory);
            if (way.size() > 1)
                way.pop_back();
            continue;
        }
        DirHandle child;
        const std::uint32_t error = child.openChild(holder, step.name);
        if (error == FsError::Success) {
            way.push_back(std::move(child));
            continue;
        }
        if (error != FsError::IsALink)
            return stop(error, reached, Refusal::NotADirectory, step.fromLink);
        // A link: followed only where nobody else can have put it there or swapped it.
        VeltorPlatform::EntryInfo link;
        if (const std::uint32_t looked = holder.lookup(step.name, link))
            return stop(looked, reached, Refusal::NotADirectory);
        if (link.kind != VeltorPlatform::EntryKind::Link)
            return stop(FsError::NotADirectory, reached, Refusal::NotADirectory);
        if (!options.followAll && !holder.linksTrusted(link))
            return stop(FsError::IsALink, reached, Refusal::UntrustedLink);
        if (++links > kMaxLinks)
            return stop(FsError::IsALink, reached, Refusal::TooManyLinks);
        std::string linkTarget;
        bool kept = true;
        if (const std::uint32_t read = holder.readLink(step.name, linkTarget, options.keepStamps, &kept))
            return stop(read, reached, Refusal::NotADirectory);
        if (!kept && result.stampMoved.empty())
            result.stampMoved = reached;
        if (linkTarget.empty())
            return stop(FsError::FileNotFound, reached, Refusal::None, true);
        std::string linkRoot;
        const std::size_t after = VeltorPlatform::rootLength(linkTarget, &linkRoot);
        if (linkRoot != ".") {
            // An absolute target: the way starts again at its root.
            way.assign(1, DirHandle());
            if (const std::uint32_t opened = way.back().openRoot(linkRoot))
                return stop(opened, linkRoot, Refusal::NotADirectory);
        }
        pushNames(pending, linkTarget, after, true);
    }
    result.outcome = Outcome::Opened;
    result.dir = way.back();
    result.way = std::move(way);
    return result;
}

} // namespace Veltor
