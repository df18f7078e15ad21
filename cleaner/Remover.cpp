#include "Remover.h"

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

void Remover::tell(EventType type, const VeltorPlatform::DirHandle& dir, const std::string& name,
                   const EntryInfo& judged, const Reason& why, std::uint32_t error, const std::string* shown,
                   const std::string* other) {
    Event event;
    event.type = type;
    event.dir = &dir;
    event.name = name;
    event.shown = shown;
    event.other = other;
    event.entry = &judged;
    event.reason = why;
    event.error = error;
    event.directory = judged.kind == EntryKind::Directory;
    event.bytes = event.directory ? 0 : judged.size;
    report_->tell(event);
}

bool Remover::remove(const VeltorPlatform::DirHandle& dir, const std::string& name, const EntryInfo& judged,
                     const Reason& why, Judged when, const Rejudge& again, const std::string* shown) {
    const bool isDirectory = judged.kind == EntryKind::Directory;
    if (report_->dryRun()) {
        // A preview tells what the real run would do: a read-only file would stay, and an immutable
        // file or a directory we may not write would refuse the removal.
        if (judged.readOnly && !isDirectory) {
            tell(EventType::Kept, dir, name, judged, why, 0, shown);
            return false;
        }
        if (const std::uint32_t error = dir.removable(name, judged)) {
            if (error != FsError::FileNotFound)
                tell(EventType::Failed, dir, name, judged, why, error, shown);
            return false;
        }
        tell(EventType::Removed, dir, name, judged, why, 0, shown);
        return true;
    }
    std::uint32_t error = isDirectory               ? dir.removeDirectory(name)
                          : when == Judged::JustNow ? dir.removeJudged(name, judged)
                                                    : dir.removeFile(name, &judged);
    if (error == FsError::AccessDenied && judged.readOnly) {
        tell(EventType::Kept, dir, name, judged, why, 0, shown);
        return false;
    }
    // Another file took the name since it was judged: without a judge to ask about it, it stays.
    if (error == FsError::EntryChanged && !again)
        return false;
    EntryInfo now = judged;
    Reason whyNow = why;
    if (error != FsError::Success && error != FsError::FileNotFound && !isDirectory) {
        // One more try, on the entry as it stands now: a name swapped meanwhile is a new entry, which
        // goes only when its own verdict says so. A failure of the system gets a pause first.
        if (error != FsError::EntryChanged)
            VeltorPlatform::sleepMs(kRetryPauseMs);
        const std::uint32_t looked = dir.lookup(name, now);
        if (looked != FsError::Success) {
            error = looked;
        } else {
            if (now.kind == EntryKind::Directory)
                return false;
            if (again) {
                const Verdict verdict = again(now);
                if (!verdict.goes)
                    return false;
                whyNow = verdict.why;
            } else if (!unchangedSince(now, judged)) {
                return false;
            }
            // The status was read by the look-up just now; the identity check stays all the same, for
            // the entry already changed under this name once.
            error = dir.removeFile(name, &now);
            if (error == FsError::EntryChanged)
                return false;
        }
    }
    if (error == FsError::Success) {
        tell(EventType::Removed, dir, name, now, whyNow, 0, shown);
        return true;
    }
    // Gone meanwhile: somebody else removed it, nothing to tell.
    if (error != FsError::FileNotFound)
        tell(EventType::Failed, dir, name, now, whyNow, error, shown);
    return false;
}

bool Remover::removeFolded(const VeltorPlatform::DirHandle& dir, const std::string& name,
                           const EntryInfo& judged, VeltorPlatform::FileHandle* held, bool leased,
                           const std::string& shown, const std::string& dayLog) {
    const Reason why = Reason::of(Reason::Folded, 0, 0, dayLog);
    if (report_->dryRun()) {
        tell(EventType::Folded, dir, name, judged, why, 0, &shown, &dayLog);
        return true;
    }
    if (held == nullptr)
        return false;
    // Through the very handle that was checked: with a lease (Windows: no sharing) nobody else has the
    // file open; without, the name must still stand for it.
    const std::uint32_t error = leased ? held->removeHeld(dir, name) : dir.removeFile(name, &judged);
    if (error == FsError::Success) {
        tell(EventType::Folded, dir, name, judged, why, 0, &shown, &dayLog);
        return true;
    }
    // Another file took its name: it stays for a later run, which folds it.
    if (error == FsError::EntryChanged)
        return false;
    // A folded job file whose deletion we could not make ourselves is a failure, whoever removed it:
    // its record is in the log and may come again.
    Event event = Event::of(EventType::NotDeleted);
    event.problem = Problem::RecordInLog;
    event.dir = &dir;
    event.name = name;
    event.shown = &shown;
    event.other = &dayLog;
    event.entry = &judged;
    event.error = error;
    report_->tell(event);
    return false;
}

} // namespace Veltor
