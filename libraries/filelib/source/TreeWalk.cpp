#include "TreeWalk.h"

#include "FsTools.h"
#include "FsToolsListing.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <algorithm>
#include <deque>
#include <memory>

namespace VeltorFilelib {
namespace Tree {

namespace fs = VeltorPlatform;
namespace FsError = VeltorPlatform::FileSystemError;
using VeltorPlatform::EntryKind;

namespace {

using VeltorPlatform::isPathSeparator;

// Splits `path` into the directory that holds its last component and that component; `name` stays
// empty where the path names a directory that is no entry of its own (a root, "." or "..").
bool split(const std::string& path, std::string& dir, std::string& name) {
    // Trailing separators name the same entry; a root ("/", "C:\", "\\server\share") keeps its own.
    const std::size_t root = VeltorPlatform::rootLength(path);
    std::size_t end = path.size();
    while (end > root && end > 1 && isPathSeparator(path[end - 1]))
        --end;
    const std::string trimmed = path.substr(0, end);
    name.clear();
    dir = trimmed;
    if (trimmed.empty())
        return false;
    if (end <= root)
        return true;
    std::size_t cut = trimmed.size();
    while (cut > root && !isPathSeparator(trimmed[cut - 1]))
        --cut;
    const std::string last = trimmed.substr(cut);
    if (last.empty() || last == "." || last == "..")
        return true;
    // The holder keeps a separator that is all of a root, and drops any other.
    std::string holder = trimmed.substr(0, cut);
    while (holder.size() > root && holder.size() > 1 && isPathSeparator(holder.back()))
        holder.pop_back();
    dir = holder.empty() ? std::string(".") : holder;
    name = last;
    return true;
}

bool isGone(std::uint32_t error) {
    return Listing::isGone(error);
}

} // namespace

std::uint32_t locate(const std::string& path, Place& place) {
    place = Place();
    std::string dir;
    if (!split(path, dir, place.name))
        return FsError::PathNotFound;
    if (std::uint32_t error = place.holder.openRoot(dir)) {
        place.name.clear();
        return error;
    }
    return place.isEntry() ? place.holder.lookup(place.name, place.info) : place.holder.info(place.info);
}

std::uint32_t openChild(const DirHandle& parent, const Entry& entry, bool makeReadable, DirHandle& dir) {
    std::uint32_t error = dir.openChild(parent, entry.name);
    if (error == FsError::AccessDenied && makeReadable) {
        const int write = entry.info.readOnly ? 0 : fs::FilePermission::Write;
        if (parent.changeMode(entry.name, fs::FilePermission::Read | write, &entry.info) == FsError::Success)
            error = dir.openChild(parent, entry.name);
    }
    if (error != FsError::Success)
        return error;
    EntryInfo opened;
    if ((error = dir.info(opened)) != FsError::Success)
        return error;
    return opened.sameEntryAs(entry.info) ? FsError::Success : FsError::EntryChanged;
}

std::uint32_t openDirectory(const Place& place, bool makeReadable, DirHandle& dir) {
    if (!place.isEntry()) {
        dir = place.holder;
        return FsError::Success;
    }
    return openChild(place.holder, place.entry(), makeReadable, dir);
}

std::uint32_t list(const DirHandle& dir, bool lookUp, std::vector<Entry>& out) {
    fs::DirEnumerator listing;
    if (std::uint32_t error = listing.open(dir, fs::DirDetail::NamesAndTypes))
        return error;
    while (listing.next() == FsError::Success) {
        const fs::ListedEntry& item = listing.entry();
        Entry entry;
        entry.name.assign(item.name);
        std::uint32_t looked = FsError::InvalidParameter; // not looked up
        if (lookUp && isGone(looked = dir.lookup(entry.name, entry.info)))
            continue; // vanished since the directory was read
        if (looked != FsError::Success) {
            // Known from the listing only: no identity to check against. Whatever is neither a
            // directory nor a link is treated as a file.
            entry.info = fs::EntryInfo();
            entry.info.kind = item.info.kind == EntryKind::Other ? EntryKind::File : item.info.kind;
        }
        out.push_back(std::move(entry));
    }
    return FsError::Success;
}

std::uint32_t isEmpty(const DirHandle& dir, bool& empty) {
    fs::DirEnumerator listing;
    std::uint32_t error = listing.open(dir, fs::DirDetail::NamesAndTypes);
    if (error == FsError::Success)
        empty = listing.next() != FsError::Success;
    return error;
}

std::uint32_t changeMode(const Place& place, int permissions) {
    if (!place.isEntry())
        return fs::changeMode(place.holder.path(), permissions);
    const std::uint32_t error = place.holder.changeMode(place.name, permissions, &place.info);
    return error == FsError::IsALink ? FsError::Success : error;
}

std::uint32_t removeFile(const DirHandle& dir, const Entry& entry, bool force) {
    if (entry.info.kind == EntryKind::Directory)
        return FsError::AccessDenied; // as a file removal refuses one
    for (int attempt = 0;; ++attempt) {
        std::uint32_t error = dir.removeFile(entry.name, &entry.info);
        if (error == FsError::AccessDenied && force && entry.info.readOnly &&
            dir.changeMode(entry.name, fs::FilePermission::Write, &entry.info) == FsError::Success)
            error = dir.removeFile(entry.name, &entry.info);
        if (error == FsError::Success || isGone(error))
            return FsError::Success;
        // Tried again only where waiting may help: not for another entry in its place, nor for a
        // read-only file that stays read-only.
        if (attempt == 1 || error == FsError::EntryChanged ||
            (error == FsError::AccessDenied && entry.info.readOnly && !force))
            return error;
        VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
    }
}

std::uint32_t removeEmptyDirectory(const DirHandle& dir, const std::string& name) {
    for (int attempt = 0;; ++attempt) {
        const std::uint32_t error = dir.removeDirectory(name);
        if (error == FsError::Success || isGone(error))
            return FsError::Success;
        if (attempt == 1)
            return error;
        VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
    }
}

namespace {

// A directory being cleared: its sub-directories still to go, in name order, and how many of its
// entries resisted so far.
struct Frame {
    DirHandle dir;
    std::vector<Entry> dirs;
    std::size_t next = 0;
    std::uint64_t failures = 0;
};

class Clearing {
public:
    Clearing(const ClearOptions& options, const ClearReport& report) : options(options), report(report) {}

    std::uint32_t run(const DirHandle& top, std::uint64_t& failures) {
        if (std::uint32_t error = enter(top))
            return error;
        for (;;) {
            Frame& frame = stack.back();
            if (frame.next < frame.dirs.size()) {
                const Entry entry = frame.dirs[frame.next++];
                step(frame, entry);
                continue;
            }
            if (stack.size() == 1)
                break;
            // Everything below is done: the directory goes when nothing in it stayed.
            const std::uint64_t left = frame.failures;
            stack.pop_back();
            Frame& parent = stack.back();
            const Entry& entry = parent.dirs[parent.next - 1];
            settle(parent, entry,
                   left == 0 ? removeEmptyDirectory(parent.dir, entry.name) : FsError::DirNotEmpty);
        }
        failures = stack.back().failures;
        return FsError::Success;
    }

private:
    // Lists `dir`, removes its non-directories and takes it on as the directory now cleared.
    std::uint32_t enter(const DirHandle& dir) {
        std::vector<Entry> entries;
        if (std::uint32_t error = list(dir, true, entries))
            return error;
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
        std::vector<Entry> files;
        std::vector<Entry> dirs;
        for (Entry& entry : entries)
            (entry.info.kind == EntryKind::Directory ? dirs : files).push_back(std::move(entry));
        if (stack.empty())
            topFiles = files.size();
        stack.emplace_back();
        Frame& frame = stack.back();
        frame.dir = dir;
        frame.dirs = std::move(dirs);
        for (const Entry& entry : files)
            settle(frame, entry, removeFile(dir, entry, options.force));
        return FsError::Success;
    }

    // One sub-directory: made writable when it must be, then emptied (entered) or removed at once.
    void step(Frame& frame, const Entry& entry) {
        std::uint32_t error = FsError::Success;
        if (entry.info.readOnly)
            error = options.force ? frame.dir.changeMode(entry.name, fs::FilePermission::Write, &entry.info)
                                  : FsError::AccessDenied;
        if (error == FsError::Success && options.recursive) {
            DirHandle child;
            error = openChild(frame.dir, entry, options.makeReadable, child);
            if (error == FsError::IsALink) {
                // Swapped for a link since the listing: the link goes as itself, as any link here.
                Entry now{entry.name, EntryInfo()};
                error = frame.dir.lookup(now.name, now.info);
                if (error == FsError::Success)
                    error = now.info.kind == EntryKind::Link ? removeFile(frame.dir, now, false)
                                                             : FsError::EntryChanged;
                settle(frame, entry, error);
                return;
            }
            if (error == FsError::Success && (error = enter(child)) == FsError::Success)
                return;
        }
        if (error == FsError::Success)
            error = removeEmptyDirectory(frame.dir, entry.name);
        settle(frame, entry, error);
    }

    // Counts an entry that stayed (one gone meanwhile did not) and reports the entries of the top.
    void settle(Frame& frame, const Entry& entry, std::uint32_t error) {
        bool gone = error == FsError::Success || isGone(error);
        EntryInfo now;
        if (!gone)
            gone = isGone(frame.dir.lookup(entry.name, now));
        if (!gone)
            ++frame.failures;
        if (report && &frame == &stack.front())
            report(entry, gone, topFiles);
    }

    const ClearOptions& options;
    const ClearReport& report;
    std::deque<Frame> stack; // a deque: a frame stays where it is while deeper ones come and go
    std::uint64_t topFiles = 0;
};

} // namespace

std::uint32_t clear(const DirHandle& dir, const ClearOptions& options, const ClearReport& report,
                    std::uint64_t& failures) {
    failures = 0;
    return Clearing(options, report).run(dir, failures);
}

namespace {

// A directory queued by a breadth-first walk: the names that lead to it from the top, and its identity
// when it was looked up.
struct Node {
    std::shared_ptr<const Node> parent;
    std::string name;
    EntryInfo info;
    bool known = false;
};
using NodePtr = std::shared_ptr<const Node>;

// The handles along the way to the directory reached last, kept so that its siblings, next in the queue,
// are reached with one open each.
class Way {
public:
    explicit Way(const DirHandle& top) : top(top) {}

    bool reach(const NodePtr& node, DirHandle& dir) {
        std::vector<NodePtr> chain;
        for (NodePtr at = node; at; at = at->parent)
            chain.push_back(at);
        std::reverse(chain.begin(), chain.end());
        std::size_t kept = 0;
        while (kept < open.size() && kept < chain.size() && open[kept].first == chain[kept])
            ++kept;
        open.resize(kept);
        for (std::size_t i = kept; i < chain.size(); ++i) {
            DirHandle next = top;
            if (i > 0 && !step(open.back().second, *chain[i], next)) {
                return false;
            }
            open.emplace_back(chain[i], next);
        }
        dir = open.back().second;
        return true;
    }

private:
    static bool step(const DirHandle& parent, const Node& node, DirHandle& next) {
        if (!node.known)
            return next.openChild(parent, node.name) == FsError::Success;
        return openChild(parent, Entry{node.name, node.info}, false, next) == FsError::Success;
    }

    DirHandle top;
    std::vector<std::pair<NodePtr, DirHandle>> open;
};

} // namespace

void walkBreadthFirst(const DirHandle& top, bool lookUp,
                      const std::function<Next(const DirHandle& dir, const Entry& entry)>& visit) {
    Way way(top);
    std::deque<NodePtr> work{std::make_shared<const Node>()};
    std::vector<Entry> entries;
    while (!work.empty()) {
        const NodePtr node = std::move(work.front());
        work.pop_front();
        DirHandle dir;
        entries.clear();
        if (!way.reach(node, dir) || list(dir, lookUp, entries) != FsError::Success)
            continue;
        for (const Entry& entry : entries) {
            const Next next = visit(dir, entry);
            if (next == Next::Stop)
                return;
            if (next == Next::Enter && entry.info.kind == EntryKind::Directory)
                work.push_back(std::make_shared<const Node>(Node{node, entry.name, entry.info, lookUp}));
        }
    }
}

} // namespace Tree
} // namespace VeltorFilelib
