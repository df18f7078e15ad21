// The file a run's report is appended to (--log). The caller reaches its folder as it reaches the data
// directories (one name at a time, under the link rule) and hands it over open: nothing put under the
// log's name can redirect the writes, and a log never grows without bound.
#pragma once
#include "platform/DirHandle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace VeltorPlatform {

class LogFile {
public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the file `name` of the open directory `dir` for appending. When the file is larger than
    // `rotateBytes`, it is first renamed to `name` + ".1" within `dir` (an older ".1" is replaced), so
    // one older copy is kept. Only a regular file is written: a link (IsALink) or anything else
    // (NotARegularFile) in its place is refused, never followed, and so is a file with a second name or
    // one that others can have put there (EntryChanged, see DirHandle::writersTrusted). A new file is
    // created exclusively
    // with mode 0640 on POSIX and inherits the folder's ACL on Windows.
    std::uint32_t open(const DirHandle& dir, const std::string& name, std::uint64_t rotateBytes);
    bool isOpen() const;
    // Appends every byte (Windows: each "\n" as "\r\n") or fails. The bytes may wait in memory, up
    // to 16 KiB and within the second they were written in, until flush() or close() (which the
    // destructor calls).
    std::uint32_t write(const char* data, std::size_t size);
    // Writes what waits; the first error since open.
    std::uint32_t flush();
    // The first error a write met since open (0: none): a log that stopped taking lines, on a full
    // disk say, is a failure the run has to tell. What still waits is not yet written: flush first.
    std::uint32_t error() const;
    // Writes what waits and closes the file.
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace VeltorPlatform
