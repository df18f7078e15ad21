// FsTools: single-file operations (existence, stamps, removal, permissions, whole-file reading and
// writing). Nothing here throws.
#include "FsTools.h"
#include "FsToolsListing.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <cstdio>
#include <deque>

namespace VeltorFilelib {

namespace fs = VeltorPlatform;

namespace {

// The path as the stamp lookup takes it: trailing separators stripped, "." and ".." resolved.
// Environment references are left alone on purpose: a file named "%TEMP%" is that file, and judging
// it by the stamps of another path would delete it on someone else's age.
std::string lookupPath(const std::string& path) {
    std::string prepared = path;
    FsTools::stripSeparators(prepared);
    if (prepared.empty())
        prepared.assign(1, FsTools::separator); // the root of a POSIX tree
    FsTools::normalize(prepared);
    return prepared;
}

// A stdio file closed on every way out.
class CFile {
public:
    CFile(const std::string& path, const char* mode)
        : file(path.empty() ? nullptr : std::fopen(path.c_str(), mode)) {}
    ~CFile() { close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    std::FILE* get() const { return file; }
    bool close() {
        bool ok = true;
        if (file != nullptr)
            ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }

private:
    std::FILE* file;
};

// Reads the whole file in blocks, leaving out carriage returns; calls sink(data, length) per run.
// False when reading stopped on an error rather than at the end: a directory opened as a file, or an
// I/O error part-way, must not pass for a short file.
template <typename Sink> bool readWithoutCarriageReturns(std::FILE* file, Sink&& sink) {
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (buffer[i] == '\r') {
                sink(buffer + start, i - start);
                start = i + 1;
            }
        }
        sink(buffer + start, count - start);
    }
    return std::ferror(file) == 0;
}

bool isTrimmed(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\v' || c == '\b' || c == '\f';
}

bool removeWithRetry(const std::string& path, bool force, const fs::DirEntry* lookedUp);

// One lookup of the entry; zero milliseconds when it cannot be found.
VeltorCorelib::DateTime entryStamp(const std::string& path, bool lastWrite) {
    fs::DirEntry entry;
    std::string name;
    if (path.empty() || fs::findEntry(lookupPath(path), entry, name) != fs::FileSystemError::Success)
        return VeltorCorelib::DateTime(0);
    return VeltorCorelib::DateTime(Listing::toDateTimeMs(lastWrite ? entry.lastWriteMs : entry.lastAccessMs));
}

} // namespace

bool FsTools::exists(const std::string& path) {
    return !path.empty() && fs::accessCheck(path, fs::AccessMode::Exists) == fs::FileSystemError::Success;
}

VeltorCorelib::DateTime FsTools::modifyTime(const std::string& path) {
    return entryStamp(path, true);
}

VeltorCorelib::DateTime FsTools::accessTime(const std::string& path) {
    return entryStamp(path, false);
}

bool FsTools::removeFile(const std::string& path, bool force) {
    return removeWithRetry(path, force, nullptr);
}

FsTools::Removal FsTools::removeFileIf(const std::string& path,
                                       const std::function<bool(std::int64_t, std::int64_t)>& decide) {
    if (path.empty())
        return Removal::NotFound;
    const std::string prepared = lookupPath(path);
    fs::DirEntry entry;
    std::string name;
    if (fs::findEntry(prepared, entry, name) != fs::FileSystemError::Success)
        return Removal::NotFound;
    if (!decide(Listing::toDateTimeMs(entry.lastWriteMs), Listing::toDateTimeMs(entry.lastAccessMs)))
        return Removal::Kept;
    // The entry looked up stands for the one removed only when both name the same path.
    return removeWithRetry(path, false, prepared == path ? &entry : nullptr) ? Removal::Removed
                                                                             : Removal::RemoveFailed;
}

namespace {

bool removeWithRetry(const std::string& path, bool force, const fs::DirEntry* lookedUp) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The first attempt may rely on the caller's fresh lookup; a retry reads the entry again.
        std::uint32_t error =
            attempt == 0 && lookedUp != nullptr ? fs::deleteFile(path, *lookedUp) : fs::deleteFile(path);
        if (error == fs::FileSystemError::Success)
            return true;
        // Gone already (removed by someone else since it was listed): nothing to retry.
        if (Listing::isGone(error))
            return true;
        if (error == fs::FileSystemError::AccessDenied && force &&
            FsTools::setPermission(path, FsTools::PermissionWrite, 0, true, nullptr) &&
            fs::deleteFile(path) == fs::FileSystemError::Success)
            return true;
        VeltorPlatform::sleepMs(Listing::kRetryPauseMs);
    }
    return false;
}

} // namespace

bool FsTools::setPermission(const std::string& path, unsigned bits, unsigned who, bool recursive,
                            const ProgressCallback& progress) {
    const int flags = Listing::runtimeFlags(bits);
    if (path.empty() || fs::changeMode(path, flags) != fs::FileSystemError::Success)
        return false;
    if (!recursive || !isDir(path))
        return true;
    std::uint32_t attributes = 0;
    if (fs::getFileAttributes(path, attributes) != fs::FileSystemError::Success ||
        (attributes & fs::FileAttribute::ReparsePoint) != 0)
        return true; // a link: what lies behind it is not ours to change

    std::uint64_t total = 0;
    if (progress) {
        std::uint64_t dirCount = 0;
        countTree(path, "*", "*", total, dirCount);
    }
    std::uint64_t done = 0;
    bool result = true;
    std::deque<std::string> work{path};
    std::string entryPath;
    while (!work.empty()) {
        std::string dir = std::move(work.front());
        work.pop_front();
        addSeparator(dir);
        bool subDirFailed = false;
        Listing::forEachEntry(dir, "*", fs::DirDetail::NamesAndTypes, [&](const fs::DirEntry& entry) {
            entryPath.assign(dir).append(entry.name, entry.nameLength);
            if (entry.isDirectory()) {
                if (entry.isReparsePoint())
                    return true; // a directory link: neither changed nor entered
                std::uint32_t error = fs::changeMode(entryPath, flags);
                if (Listing::isGone(error))
                    return true;
                if (error != fs::FileSystemError::Success) {
                    subDirFailed = true;
                    return false;
                }
                work.push_back(entryPath);
                return true;
            }
            // A file link carries no permission of its own; its target may lie outside the tree.
            std::uint32_t error =
                entry.isReparsePoint() ? fs::FileSystemError::Success : fs::changeMode(entryPath, flags);
            bool ok = error == fs::FileSystemError::Success || Listing::isGone(error);
            if (!ok)
                result = false;
            if (progress)
                progress(std::string(entry.name, entry.nameLength),
                         ok ? ProgressPermissionSet : ProgressPermissionFailed, ++done, total);
            return true;
        });
        if (subDirFailed)
            return false;
    }
    return result;
}

bool FsTools::readFile(const std::string& path, std::string& out, bool clear) {
    CFile file(path, "rb");
    if (file.get() == nullptr)
        return false;
    // Read aside first: a read that fails leaves the caller's text as it was.
    std::string text;
    if (!readWithoutCarriageReturns(file.get(),
                                    [&](const char* data, std::size_t length) { text.append(data, length); }))
        return false;
    if (clear)
        out = std::move(text);
    else
        out += text;
    return true;
}

bool FsTools::readLines(const std::string& path, LineList& lines, char delimiter, bool trim, bool skipEmpty) {
    CFile file(path, "rb");
    if (file.get() == nullptr)
        return false;
    LineList read;
    std::string line;
    auto finish = [&] {
        std::size_t begin = 0;
        std::size_t end = line.size();
        if (trim) {
            while (begin < end && isTrimmed(line[begin]))
                ++begin;
            while (end > begin && isTrimmed(line[end - 1]))
                --end;
        }
        if (!(skipEmpty && begin == end))
            read.emplace_back(line, begin, end - begin);
        line.clear();
    };
    const bool complete = readWithoutCarriageReturns(file.get(), [&](const char* data, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] == delimiter)
                finish();
            else
                line += data[i];
        }
    });
    if (!complete)
        return false;
    if (!line.empty())
        finish();
    lines = std::move(read);
    return true;
}

bool FsTools::writeFile(const std::string& data, const std::string& path) {
    CFile file(path, "wb");
    if (file.get() == nullptr)
        return false;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.get()) != data.size())
        return false;
    // A failed close (the last buffered bytes not written) is a failed write too.
    return file.close();
}

bool FsTools::isLink(const std::string& path) {
    std::uint32_t attributes = 0;
    if (path.empty() || fs::getFileAttributes(path, attributes) != fs::FileSystemError::Success)
        return false;
    if ((attributes & fs::FileAttribute::ReparsePoint) != 0)
        return true;
    return (attributes & fs::FileAttribute::Directory) == 0 && isShortcut(path);
}

} // namespace VeltorFilelib
