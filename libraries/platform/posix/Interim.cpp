// INTERIM: until the seam's new calls land.
#include "platform/DirHandle.h"
namespace VeltorPlatform {
std::uint32_t DirHandle::removable(const std::string& name, const EntryInfo&) const { return checkRemovable(name); }
std::uint32_t DirHandle::removeJudged(const std::string& name, const EntryInfo& judged) const { return removeFile(name, &judged); }
std::uint32_t FileHandle::openExclusive(const DirHandle&, const std::string&, bool) { return FileSystemError::NotSupported; }
std::uint32_t FileHandle::removeHeld(const DirHandle&, const std::string&) { return FileSystemError::NotSupported; }
bool FileHandle::openedByOthers() const { return false; }
std::uint32_t FileHandle::releaseExclusive() { return 0; }
}
#include "platform/SystemLog.h"
namespace VeltorPlatform {
std::uint32_t reportEvent(EventSeverity, std::uint32_t, const std::string&) { return FileSystemError::NotSupported; }
bool outputIsJournal() { return false; }
std::uint32_t sendToJournal(const std::vector<std::string>&) { return FileSystemError::NotSupported; }
}
