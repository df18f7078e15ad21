// DirEnumerator on Windows: the listing of a directory opened as a DirHandle, through a handle of its
// own (NtQueryDirectoryFile, see NtCalls.h). Every entry comes complete with what the listing class
// carries; the volume is the listed directory's, for its entries share it.
#include "NtCalls.h"
#include "WideCalls.h"
#include "Win32Files.h"

namespace VeltorPlatform {

struct DirEnumerator::State {
    std::shared_ptr<DirHandle::State> held; // the directory listed, kept open while the listing lasts
    Nt::DirectoryReader reader;
    std::string name;     // the current entry's name
    ULONG attributes = 0; // the current entry's attributes as listed
};

DirEnumerator::DirEnumerator() = default;

DirEnumerator::~DirEnumerator() {
    close();
}

std::uint32_t DirEnumerator::open(const DirHandle& dir, DirDetail, bool) {
    close();
    if (!dir.isOpen())
        return FileSystemError::InvalidParameter;
    if (!state)
        state.reset(new State);
    // From the handle, on a handle of the listing's own: wherever the directory has gone meanwhile.
    if (std::uint32_t error = state->reader.open(dir.state->handle.get()))
        return error;
    state->held = dir.state;
    return FileSystemError::Success;
}

std::uint32_t DirEnumerator::next() {
    if (!state || !state->held)
        return FileSystemError::NoMoreItems;
    Nt::ListedEntry listed;
    for (;;) {
        if (std::uint32_t error = state->reader.next(listed)) {
            current = ListedEntry();
            return error;
        }
        if (listed.nameLength == 1 && listed.name[0] == L'.')
            continue;
        if (listed.nameLength == 2 && listed.name[0] == L'.' && listed.name[1] == L'.')
            continue;
        state->name = Wide::toNarrow(listed.name, listed.nameLength);
        state->attributes = listed.attributes;
        current = ListedEntry();
        current.name = state->name;
        EntryInfo& info = current.info;
        // Listed through a handle, a link is a link, never the directory it may lead to.
        if ((listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            info.kind = EntryKind::Link;
        else if ((listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            info.kind = EntryKind::Directory;
        else
            info.kind = EntryKind::File;
        info.readOnly = (listed.attributes & FILE_ATTRIBUTE_READONLY) != 0 && info.kind != EntryKind::Link;
        info.sparse = (listed.attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
        info.lastWriteMs = Win32::toMs(listed.lastWrite);
        info.lastAccessMs = Win32::toMs(listed.lastAccess);
        info.changeMs = Win32::toMs(listed.change);
        info.size = info.kind == EntryKind::File ? static_cast<std::uint64_t>(listed.size.QuadPart) : 0;
        info.allocated = static_cast<std::uint64_t>(listed.allocated.QuadPart);
        info.volume = state->held->volume;
        info.fileId = listed.fileId;
        info.flagsKnown = true; // Windows has no flag that keeps an entry from being removed
        return FileSystemError::Success;
    }
}

std::uint32_t DirEnumerator::complete() {
    return FileSystemError::Success; // the listing holds everything already
}

bool DirEnumerator::linkLeadsToDirectory() const {
    return state && current.info.kind == EntryKind::Link &&
           (state->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DirEnumerator::close() {
    if (state) {
        state->held.reset();
        state->reader.close();
        state->name.clear();
    }
    current = ListedEntry();
}

} // namespace VeltorPlatform
