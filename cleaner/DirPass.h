// The one way the cleanings go through a directory they clean: a listing of its open handle that reads
// the status only of the entries a cleaning wants, the names in byte order where a cleaning works in
// that order, the subdirectories, and a walk of a whole tree that never enters a link. What cannot be
// listed, opened or inspected is told as not cleaned, never passed over in silence.
#pragma once
#include "CleaningPlan.h"
#include "platform/DirHandle.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Veltor {

class DirPass {
public:
    using DirHandle = VeltorPlatform::DirHandle;
    using ListedEntry = VeltorPlatform::ListedEntry;
    // Whether a cleaning wants the entry of that name: asked before its status is read, so that most
    // of a large directory costs no status call.
    using Wants = std::function<bool(std::string_view name)>;

    explicit DirPass(CleaningPlan& plan) : plan_(&plan) {}

    // Lists `dir` once: each entry but a directory whose name `wants` takes is visited with its status
    // just read; the name of each other one is `passed`. False when the listing failed part-way or the
    // entries' status cannot be read (told as not cleaned).
    bool files(const DirHandle& dir, const Wants& wants, const std::function<void(const ListedEntry&)>& visit,
               const std::function<void(std::string_view)>& passed = nullptr);
    // The names of the entries but directories of `dir` that `wants` takes, in byte order.
    bool names(const DirHandle& dir, const Wants& wants, std::vector<std::string>& out);
    // Each subdirectory of `dir` (never a link), in the order of the listing.
    bool subdirectories(const DirHandle& dir, const std::function<void(const std::string& name)>& visit);
    // The entry `name` of `dir` as it stands. Where the entries of `dir` cannot be inspected at all (no
    // search permission), that is told as the directory not cleaned, once.
    std::uint32_t lookup(const DirHandle& dir, const std::string& name, VeltorPlatform::EntryInfo& out);
    // Depth-first below `start`, one open directory per level, links never entered: `visit` gets every
    // entry but a directory, `entered` each directory as the walk enters it (`start` first). A
    // subdirectory that cannot be opened or is too deep is told as not cleaned; the walk goes on.
    void walk(const DirHandle& start, const std::function<void(const DirHandle&, const ListedEntry&)>& visit,
              const std::function<void(const DirHandle&)>& entered);

private:
    // Tells that `name` of `dir` (the directory itself where `name` is empty) could not be cleaned.
    void notCleaned(const DirHandle& dir, const std::string& name, Problem problem, std::uint32_t error);

    CleaningPlan* plan_;
};

} // namespace Veltor
