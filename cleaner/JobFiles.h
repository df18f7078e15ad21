// The file work of the folding of finished jobs: reading a job file's record, copying a file, creating
// a file under a fresh random name, and telling whether an entry is still the one that was read.
#pragma once
#include "platform/DirHandle.h"

#include <cstdint>
#include <string>

namespace Veltor {
namespace JobFiles {

// Random bytes in a temporary name: 16 hexadecimal characters nobody can foresee.
constexpr std::size_t kRandomBytes = 8;

// The record of one job file: its non-empty lines without carriage returns, joined by ';', then CR LF.
// Reads the file to its end, counting the bytes in `bytes`; false on a read error or beyond `limit`
// bytes (`bytes` then exceeds it).
bool readRecord(VeltorPlatform::FileHandle& file, std::uint64_t limit, std::string& record,
                std::uint64_t& bytes);
// Creates a file of a fresh random name "PREFIX" + random + "SUFFIX" in `dir`, exclusively: a name
// planted in advance is never written through, another one is drawn.
std::uint32_t createFresh(const VeltorPlatform::DirHandle& dir, const std::string& prefix,
                          const std::string& suffix, unsigned mode, VeltorPlatform::FileHandle& out,
                          std::string& name);
// Whether the entry is still the one that was read: the same file, size, last write and status change.
// A rewrite to the same size with the last write set back still moves the status change time. Where a
// look-up cannot tell that time (0), the other three decide.
bool unchanged(const VeltorPlatform::EntryInfo& now, const VeltorPlatform::EntryInfo& read);
// Copies what is left to read of `from` to `to`, at most `limit` bytes: false on an error or when
// `from` holds more.
bool copyRest(VeltorPlatform::FileHandle& from, VeltorPlatform::FileHandle& to, std::uint64_t limit);
// `name` cut to at most `bytes` bytes, never in the middle of a UTF-8 sequence.
std::string cutName(const std::string& name, std::size_t bytes);

} // namespace JobFiles
} // namespace Veltor
