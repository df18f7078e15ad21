// What both systems' DirHandle::changeMode start with: the entry as it stands, refused when it is a link
// (what it leads to may lie outside the tree) or no longer the entry the caller judged.
#pragma once
#include "platform/DirHandle.h"

namespace VeltorPlatform {

inline std::uint32_t judgeForChange(const DirHandle& dir, const std::string& name, const EntryInfo* expected,
                                    EntryInfo& judged) {
    if (std::uint32_t error = dir.lookup(name, judged))
        return error;
    if (judged.kind == EntryKind::Link)
        return FileSystemError::IsALink;
    if (expected != nullptr && !judged.sameEntryAs(*expected))
        return FileSystemError::EntryChanged;
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
