#include "JobFiles.h"

#include "platform/Process.h"

namespace Veltor {
namespace JobFiles {

using VeltorPlatform::DirHandle;
using VeltorPlatform::EntryInfo;
using VeltorPlatform::FileHandle;
namespace FsError = VeltorPlatform::FileSystemError;

namespace {

// `count` random bytes as hexadecimal text; empty when the system's random source failed.
std::string randomHex(std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    unsigned char bytes[kRandomBytes];
    if (count > sizeof bytes || !VeltorPlatform::randomBytes(bytes, count))
        return std::string();
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text.append(1, digits[bytes[i] >> 4]).append(1, digits[bytes[i] & 0xF]);
    return text;
}

} // namespace

bool readRecord(FileHandle& file, std::uint64_t limit, std::string& record, std::uint64_t& bytes) {
    record.clear();
    bytes = 0;
    char buffer[65536];
    bool lineOpen = false; // a non-empty line has begun and not ended
    bool first = true;
    std::size_t got = 0;
    for (;;) {
        if (file.read(buffer, sizeof buffer, got) != FsError::Success)
            return false;
        if (got == 0)
            break;
        bytes += got;
        if (bytes > limit)
            return false;
        for (std::size_t i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c == '\r')
                continue;
            if (c == '\n') {
                lineOpen = false;
                continue;
            }
            if (!lineOpen) {
                if (!first)
                    record += ';';
                first = false;
                lineOpen = true;
            }
            record += c;
        }
    }
    record += "\r\n";
    return true;
}

std::uint32_t createFresh(const DirHandle& dir, const std::string& prefix, const std::string& suffix,
                          unsigned mode, FileHandle& out, std::string& name) {
    std::uint32_t created = FsError::AlreadyExists;
    for (unsigned attempt = 0; attempt < 8 && created == FsError::AlreadyExists; ++attempt) {
        const std::string random = randomHex(kRandomBytes);
        if (random.empty())
            return FsError::AccessDenied;
        name = prefix + random + suffix;
        created = out.createNew(dir, name, mode);
    }
    return created;
}

bool unchanged(const EntryInfo& now, const EntryInfo& read) {
    return now.sameEntryAs(read) && now.size == read.size && now.lastWriteMs == read.lastWriteMs &&
           (now.changeMs == read.changeMs || now.changeMs == 0 || read.changeMs == 0);
}

bool copyRest(FileHandle& from, FileHandle& to, std::uint64_t limit) {
    char buffer[65536];
    std::uint64_t copied = 0;
    std::size_t got = 0;
    for (;;) {
        if (from.read(buffer, sizeof buffer, got) != FsError::Success)
            return false;
        if (got == 0)
            return true;
        copied += got;
        if (copied > limit || to.write(buffer, got) != FsError::Success)
            return false;
    }
}

std::string cutName(const std::string& name, std::size_t bytes) {
    if (name.size() <= bytes)
        return name;
    std::size_t at = bytes;
    while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80)
        --at;
    return name.substr(0, at);
}

} // namespace JobFiles
} // namespace Veltor
