// The one directory walk under FsTools, DirTools and FileTools: lists a directory through the
// platform's enumeration and hands every entry whose name matches a pattern to a visitor.
#pragma once
#include "Wildcard.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace VeltorFilelib {
namespace Listing {

// Milliseconds from the DateTime origin (1899-12-31 00:00:00) to 1970-01-01 00:00:00 UTC.
constexpr std::int64_t kUnixEpochMs = 2209075200000LL;

// A platform stamp as a DateTime millisecond count.
inline std::int64_t toDateTimeMs(std::int64_t unixMs) { return unixMs + kUnixEpochMs; }

// Lists `dir` (no trailing separator needed) and calls visit(entry) for every entry whose name
// matches `pattern`; visit returns false to stop. Returns the platform's error of the opening,
// Success otherwise; an error part-way ends the listing with what was found.
template <typename Visitor>
std::uint32_t forEachEntry(const std::string& dir, const std::string& pattern, VeltorPlatform::DirDetail detail,
                           Visitor&& visit) {
    VeltorPlatform::DirEnumerator listing;
    std::uint32_t error = listing.open(dir, detail);
    if (error != VeltorPlatform::FileSystemError::Success)
        return error;
    const bool everything = pattern == "*"; // every name matches: spare the matcher
    while (listing.next() == VeltorPlatform::FileSystemError::Success) {
        const VeltorPlatform::DirEntry& entry = listing.entry();
        if (!everything && !VeltorCorelib::matchWildcard(std::string_view(entry.name, entry.nameLength), pattern))
            continue;
        if (!visit(entry))
            break;
    }
    return VeltorPlatform::FileSystemError::Success;
}

} // namespace Listing
} // namespace VeltorFilelib
