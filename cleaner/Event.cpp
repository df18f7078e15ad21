#include "Event.h"

#include "platform/Paths.h"

namespace Veltor {

Reason Reason::age(bool lastAccess, std::int64_t ageSeconds, std::int64_t limitSeconds) {
    Reason reason = of(Age, ageSeconds, limitSeconds);
    reason.lastAccess = lastAccess;
    return reason;
}

Reason Reason::of(Kind kind, std::int64_t ageSeconds, std::int64_t limitSeconds, std::string detail) {
    Reason reason;
    reason.kind = kind;
    reason.ageSeconds = ageSeconds;
    reason.limitSeconds = limitSeconds;
    reason.detail = std::move(detail);
    return reason;
}

Event Event::of(EventType type, const VeltorPlatform::DirHandle* dir, std::string_view name,
                const std::string* shown) {
    Event event;
    event.type = type;
    event.dir = dir;
    event.name = name;
    event.shown = shown;
    return event;
}

std::string Event::path() const {
    if (shown != nullptr)
        return *shown;
    if (dir == nullptr)
        return std::string(name);
    return VeltorPlatform::joinPath(dir->path(), name);
}

void Event::pathInto(std::string& out) const {
    if (shown != nullptr) {
        out += *shown;
    } else if (dir == nullptr) {
        out += name;
    } else {
        VeltorPlatform::appendJoinedPath(out, dir->path(), name);
    }
}

bool isFailure(const Event& event) {
    switch (event.type) {
    case EventType::Failed:
    case EventType::NotRead:
    case EventType::NotFolded:
    case EventType::NotDeleted:
    case EventType::NotPutBack:
    case EventType::NotCleaned:
    case EventType::RegistryRefused:
    case EventType::LogNotWritten:
    case EventType::MetricsNotWritten:
        return true;
    case EventType::Removed:
    case EventType::Kept:
    case EventType::Folded:
    case EventType::Stays:
    case EventType::Waits:
    case EventType::DirectoryEmpty:
    case EventType::InvalidDirectory:
    case EventType::SessionUnreadable:
    case EventType::AccessTimeMoved:
    case EventType::LeasesUnavailable:
        return false;
    }
    return false;
}

} // namespace Veltor
