#include "DirPass.h"

#include "TrustedDirs.h"
#include "platform/Paths.h"

#include <algorithm>
#include <memory>

namespace Veltor {

using VeltorPlatform::DirDetail;
using VeltorPlatform::DirEnumerator;
using VeltorPlatform::EntryKind;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// Directories deeper than this below a walk's start are not entered: every level holds two handles,
// and 256 levels stay well inside the usual limit of 1024 open files.
constexpr std::size_t kMaxWalkDepth = 256;

} // namespace

void DirPass::notCleaned(const DirHandle& dir, const std::string& name, Problem problem,
                         std::uint32_t error) {
    const std::string path = name.empty() ? dir.path() : VeltorPlatform::joinPath(dir.path(), name);
    Event event = Event::of(EventType::NotCleaned);
    event.problem = problem;
    event.error = error;
    event.shown = &path;
    plan_->notCleaned(event);
}

std::uint32_t DirPass::lookup(const DirHandle& dir, const std::string& name, VeltorPlatform::EntryInfo& out) {
    const std::uint32_t error = dir.lookup(name, out);
    if (error == FsError::AccessDenied)
        notCleaned(dir, std::string(), Problem::CannotOpen, error);
    return error;
}

bool DirPass::files(const DirHandle& dir, const Wants& wants,
                    const std::function<void(const ListedEntry&)>& visit,
                    const std::function<void(std::string_view)>& passed) {
    DirEnumerator listing;
    std::uint32_t error = listing.open(dir, DirDetail::NamesAndTypes);
    while (error == FsError::Success && (error = listing.next()) == FsError::Success) {
        const ListedEntry& entry = listing.entry();
        if (entry.info.kind == EntryKind::Directory)
            continue;
        if (!wants(entry.name)) {
            if (passed)
                passed(entry.name);
            continue;
        }
        // The details only of the entries whose name is wanted.
        const std::uint32_t completed = listing.complete();
        if (completed == FsError::FileNotFound)
            continue; // gone since the directory was read
        if (completed != FsError::Success) {
            error = completed;
            break;
        }
        if (entry.info.kind == EntryKind::Directory)
            continue;
        visit(entry);
    }
    if (error == FsError::NoMoreItems)
        return true;
    notCleaned(dir, std::string(), Problem::CannotOpen, error);
    return false;
}

bool DirPass::names(const DirHandle& dir, const Wants& wants, std::vector<std::string>& out) {
    out.clear();
    DirEnumerator listing;
    std::uint32_t error = listing.open(dir, DirDetail::NamesAndTypes);
    while (error == FsError::Success && (error = listing.next()) == FsError::Success) {
        const ListedEntry& entry = listing.entry();
        if (entry.info.kind != EntryKind::Directory && wants(entry.name))
            out.emplace_back(entry.name);
    }
    std::sort(out.begin(), out.end());
    if (error == FsError::NoMoreItems)
        return true;
    notCleaned(dir, std::string(), Problem::CannotOpen, error);
    return false;
}

bool DirPass::subdirectories(const DirHandle& dir,
                             const std::function<void(const std::string& name)>& visit) {
    DirEnumerator listing;
    std::uint32_t error = listing.open(dir, DirDetail::NamesAndTypes);
    std::string name;
    while (error == FsError::Success && (error = listing.next()) == FsError::Success) {
        // A link is not a subdirectory of this tree: it and what it leads to are left alone.
        if (listing.entry().info.kind != EntryKind::Directory)
            continue;
        name.assign(listing.entry().name);
        visit(name);
    }
    if (error == FsError::NoMoreItems)
        return true;
    notCleaned(dir, std::string(), Problem::CannotOpen, error);
    return false;
}

void DirPass::walk(const DirHandle& start,
                   const std::function<void(const DirHandle&, const ListedEntry&)>& visit,
                   const std::function<void(const DirHandle&)>& entered) {
    // One open directory and its listing per level: memory grows with the depth, not with the number
    // of files, and no directory is ever reached by a path that its contents could redirect.
    struct Level {
        DirHandle dir;
        DirEnumerator listing;
    };
    std::vector<std::unique_ptr<Level>> stack;
    auto enter = [&](DirHandle dir) {
        auto level = std::make_unique<Level>();
        level->dir = std::move(dir);
        if (const std::uint32_t error = level->listing.open(level->dir, DirDetail::NamesAndTypes)) {
            notCleaned(level->dir, std::string(), Problem::CannotOpen, error);
            return;
        }
        entered(level->dir);
        stack.push_back(std::move(level));
    };
    enter(start);
    std::string name;
    while (!stack.empty()) {
        Level& level = *stack.back();
        const std::uint32_t next = level.listing.next();
        if (next != FsError::Success) {
            if (next != FsError::NoMoreItems)
                notCleaned(level.dir, std::string(), Problem::CannotOpen, next);
            stack.pop_back();
            continue;
        }
        const ListedEntry& entry = level.listing.entry();
        if (entry.info.kind == EntryKind::Link)
            continue; // links lead out of the tree or back into it: never followed
        if (entry.info.kind != EntryKind::Directory) {
            visit(level.dir, entry);
            continue;
        }
        name.assign(entry.name);
        if (stack.size() > kMaxWalkDepth) {
            notCleaned(level.dir, name, Problem::TooDeep, 0);
            continue;
        }
        DirHandle child;
        std::uint32_t error = 0;
        // A directory swapped for a link since it was listed is refused here, never entered; one gone
        // meanwhile has nothing left to clean.
        const TrustedDirs::Outcome opened = TrustedDirs::openChild(level.dir, name, child, &error);
        if (opened == TrustedDirs::Outcome::Opened)
            enter(std::move(child));
        else if (opened == TrustedDirs::Outcome::Unreadable)
            notCleaned(level.dir, name, Problem::CannotOpen, error);
    }
}

} // namespace Veltor
