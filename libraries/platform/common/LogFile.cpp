// One log file for both systems, on the seam's handle calls: the folder is an open directory, the log
// one name in it, looked up, rotated, created and opened without ever following a link.
#include "platform/LogFile.h"

#include "platform/Paths.h"

namespace VeltorPlatform {

namespace FsError = FileSystemError;

struct LogFile::State {
    FileHandle file;
    std::uint32_t error = FsError::Success;
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;

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
    std::uint32_t error = opened->file.createNew(dir, name, 0640);
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
    std::uint32_t error = FsError::Success;
    if constexpr (kPathStyle == PathStyle::Windows) {
        // The line ends a Windows log is read with.
        std::string text;
        text.reserve(size + size / 32);
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))
                text += '\r';
            text += data[i];
        }
        error = state->file.write(text.data(), text.size());
    } else {
        error = state->file.write(data, size);
    }
    state->error = error;
    return error;
}

std::uint32_t LogFile::error() const {
    return state ? state->error : FsError::Success;
}

void LogFile::close() {
    state.reset();
}

} // namespace VeltorPlatform
