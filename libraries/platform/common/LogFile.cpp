// One log file for both systems, on the seam's handle calls: the folder is an open directory, the log
// one name in it, looked up, rotated, created and opened without ever following a link.
#include "platform/LogFile.h"

#include "platform/Paths.h"
#include "platform/Time.h"

namespace VeltorPlatform {

namespace FsError = FileSystemError;

// The lines wait in memory up to this much, and for no longer than the second they were written in:
// a listing of 50 000 removals is some three hundred writes, not 50 000 (which cost a third of a
// preview's time), and a run that is killed loses no more than that of its log.
constexpr std::size_t kPendingBytes = 16 * 1024;

struct LogFile::State {
    FileHandle file;
    std::string pending;
    std::int64_t pendingSince = 0;
    std::uint32_t error = FsError::Success;

    void writePending() {
        if (error == FsError::Success && !pending.empty())
            error = file.write(pending.data(), pending.size());
        pending.clear();
    }
};

LogFile::LogFile() = default;
LogFile::~LogFile() {
    close();
}

namespace {

std::uint32_t refusal(const EntryInfo& info) {
    return info.kind == EntryKind::Link ? FsError::IsALink : FsError::NotARegularFile;
}

} // namespace

std::uint32_t LogFile::open(const DirHandle& dir, const std::string& name, std::uint64_t rotateBytes) {
    close();
    if (!dir.isOpen() || name.empty())
        return FsError::InvalidParameter;
    EntryInfo info;
    const std::uint32_t looked = dir.lookup(name, info);
    if (looked == FsError::Success) {
        if (info.kind != EntryKind::File)
            return refusal(info);
        // The rename moves the entry itself, whatever stands under the older copy's name.
        if (info.size > rotateBytes)
            if (const std::uint32_t error = dir.rename(name, name + ".1"))
                return error;
    } else if (looked != FsError::FileNotFound) {
        return looked;
    }
    auto opened = std::make_unique<State>();
    // Created exclusively, so nothing planted under the name meanwhile is written through; an
    // existing log is opened for appending, again only as a regular file of this directory.
    std::uint32_t error = opened->file.createNew(dir, name, 0640, true);
    if (error == FsError::AlreadyExists)
        error = opened->file.openAppend(dir, name);
    if (error != FsError::Success) {
        if (dir.lookup(name, info) == FsError::Success && info.kind != EntryKind::File)
            return refusal(info);
        return error;
    }
    // What was opened must be a file of its own that only the administrators or we can have put there:
    // one planted under the name since the caller looked (in a sticky directory, say), or a second name
    // of somebody else's file, is not written.
    if (opened->file.info(info) != FsError::Success || info.linkCount != 1 || !dir.writersTrusted(&info))
        return FsError::EntryChanged;
    state = std::move(opened);
    return FsError::Success;
}

bool LogFile::isOpen() const {
    return state != nullptr;
}

std::uint32_t LogFile::write(const char* data, std::size_t size) {
    if (!state)
        return FsError::InvalidParameter;
    if (state->error != FsError::Success)
        return state->error;
    std::string& pending = state->pending;
    if constexpr (kPathStyle == PathStyle::Windows) {
        // The line ends a Windows log is read with.
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))
                pending += '\r';
            pending += data[i];
        }
    } else {
        pending.append(data, size);
    }
    const std::int64_t now = timeNow();
    if (pending.size() >= kPendingBytes || now != state->pendingSince) {
        state->writePending();
        state->pendingSince = now;
    }
    return state->error;
}

std::uint32_t LogFile::flush() {
    if (!state)
        return FsError::Success;
    state->writePending();
    return state->error;
}

std::uint32_t LogFile::error() const {
    return state ? state->error : FsError::Success;
}

void LogFile::close() {
    flush();
    state.reset();
}

} // namespace VeltorPlatform
