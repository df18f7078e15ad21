// The file a run's report is appended to (--log). Its path is the administrator's, but the folder may
// be one that others can write: nothing put under the log's name can redirect the writes, and a log
// never grows without bound.
#pragma once
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

    // Opens `path` for appending. When the file is larger than `rotateBytes`, it is first renamed to
    // `path` + ".1" (an older ".1" is replaced), so one older copy is kept. Only a regular file is
    // written: a link (IsALink) or anything else (NotARegularFile) in its place is refused, never
    // followed; the folder's own path is followed as the system resolves it. A new file is created with
    // mode 0640 on POSIX and inherits the folder's ACL on Windows.
    std::uint32_t open(const std::string& path, std::uint64_t rotateBytes);
    bool isOpen() const;
    // Appends every byte (Windows: each "\n" as "\r\n") or fails.
    std::uint32_t write(const char* data, std::size_t size);
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace VeltorPlatform
