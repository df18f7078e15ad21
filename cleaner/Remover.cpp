#include "Remover.h"

#include "FsTools.h"
#include "platform/Process.h"

namespace Veltor {

using VeltorPlatform::EntryInfo;
using VeltorPlatform::EntryKind;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// How long the one retry of a failed removal waits.
constexpr unsigned kRetryPauseMs = 25;

bool unchangedSince(const EntryInfo& now, const EntryInfo& judged) {
    return now.sameEntryAs(judged) && now.kind == judged.kind && now.size == judged.size &&
           now.lastWriteMs == judged.lastWriteMs;
}

} // namespace

std::string Remover::pathOf(const VeltorPlatform::DirHandle& dir, const std::string& name) {
    std::string path = dir.path();
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += VeltorFilelib::FsTools::separator;
    return path + name;
}

void Remover::failed(const std::string& path, const Reason& why, std::uint32_t error) {
    if (why.kind == Reason::Folded)
        report_->message("\nError: Couldn't delete job file: " + ActionReport::printable(path) +
                             " (win-error#" + std::to_string(error) + "); its record is in " +
                             ActionReport::printable(why.detail),
                         true);
    else
        report_->failed(path, error);
}

bool Remover::remove(const VeltorPlatform::DirHandle& dir, const std::string& name, const EntryInfo& judged,
                     const Reason& why, const Judge& again, const std::string* shown) {
    ActionReport& report = *report_;
    auto path = [&] { return shown != nullptr ? *shown : pathOf(dir, name); };
    const bool isDirectory = judged.kind == EntryKind::Directory;
    const bool folding = why.kind == Reason::Folded;
    auto done = [&] {
        if (folding)
            report.folded(path(), why.detail);
        else
            report.removed(path(), why, judged.size, isDirectory);
        return true;
    };
    if (report.dryRun()) {
        // A job file was asked whether it can go when it was judged: a preview tells of the folding.
        if (folding)
            return done();
        // A preview tells what the real run would do: a read-only file would stay.
        if (judged.readOnly && !isDirectory) {
            report.kept(path());
            return false;
        }
        // An immutable file, or a directory we may not write, would refuse the removal.
        if (const std::uint32_t error = dir.checkRemovable(name)) {
            if (error != FsError::FileNotFound)
                failed(path(), why, error);
            return false;
        }
        return done();
    }
    std::uint32_t error = isDirectory ? dir.removeDirectory(name) : dir.removeFile(name, &judged);
    if (error == FsError::AccessDenied && judged.readOnly && !folding) {
        report.kept(path());
        return false;
    }
    // Another file took the name since it was judged: without a judge to ask about it, it stays.
    if (error == FsError::EntryChanged && !again)
        return false;
    if (error != FsError::Success && error != FsError::FileNotFound && !isDirectory && !folding) {
        // One more try, on the entry as it stands now: a name swapped meanwhile is a new entry, which
        // goes only when its own verdict says so. A failure of the system gets a pause first.
        if (error != FsError::EntryChanged)
            VeltorPlatform::sleepMs(kRetryPauseMs);
        EntryInfo now;
        Reason whyNow;
        const std::uint32_t looked = dir.lookup(name, now);
        if (looked != FsError::Success) {
            error = looked;
        } else {
            if (now.kind == EntryKind::Directory ||
                (again ? !again(name, now.lastWriteMs, now.lastAccessMs, whyNow)
                       : !unchangedSince(now, judged)))
                return false;
            error = dir.removeFile(name, &now);
            if (error == FsError::EntryChanged)
                return false;
        }
    }
    if (error == FsError::Success)
        return done();
    // Gone meanwhile: somebody else removed it, nothing to report; but a folded job file whose deletion
    // we could not make ourselves is a failure, whoever removed it.
    if (error != FsError::FileNotFound || folding)
        failed(path(), why, error);
    return false;
}

} // namespace Veltor
