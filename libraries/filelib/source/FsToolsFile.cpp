// FsTools: single-file operations (existence, stamps, removal, permissions, whole-file reading and
// writing). Nothing here throws.
#include "FsTools.h"
#include "FsToolsListing.h"
#include "TreeWalk.h"
#include "platform/DirHandle.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <atomic>
#include <cstdio>

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

// A file writeFile creates anew: readable by everyone, writable by its owner only.
constexpr unsigned kNewFileMode = 0644;
constexpr unsigned kFreshNameAttempts = 100;

// A name nobody else picks: this process's number and a count of its own.
std::string freshName() {
    static std::atomic<unsigned> counter{0};
    return ".writeFile-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
           std::to_string(counter++) + ".tmp";
}

bool isTrimmed(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\v' || c == '\b' || c == '\f';
}

// One lookup of the entry; zero milliseconds when it cannot be found.
VeltorCorelib::DateTime entryStamp(const std::string& path, bool lastWrite) {
    std::int64_t written = 0;
    std::int64_t accessed = 0;
    if (path.empty() || fs::findStamps(lookupPath(path), written, accessed) != fs::FileSystemError::Success)
        return VeltorCorelib::DateTime(0);
    return VeltorCorelib::DateTime(Listing::toDateTimeMs(lastWrite ? written : accessed));
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
    Tree::Place place;
    const std::uint32_t error = path.empty() ? fs::FileSystemError::FileNotFound : Tree::locate(path, place);
    if (Listing::isGone(error))
        return true; // nothing left to remove
    return error == fs::FileSystemError::Success && place.isEntry() &&
           Tree::removeFile(place.holder, place.entry(), force) == fs::FileSystemError::Success;
}

bool FsTools::setPermission(const std::string& path, unsigned bits, unsigned who, bool recursive,
                            const ProgressCallback& progress) {
    const int flags = Listing::runtimeFlags(bits);
    Tree::Place place;
    if (path.empty() || Tree::locate(path, place) != fs::FileSystemError::Success ||
        Tree::changeMode(place, flags) != fs::FileSystemError::Success)
        return false;
    // Below a directory only; a link is no directory here: what lies behind it is not ours to change.
    if (!recursive || place.info.kind != fs::EntryKind::Directory)
        return true;
    Tree::DirHandle top;
    if (Tree::openDirectory(place, false, top) != fs::FileSystemError::Success)
        return true;

    std::uint64_t total = 0;
    if (progress) {
        std::uint64_t dirCount = 0;
        countTree(path, "*", "*", total, dirCount);
    }
    std::uint64_t done = 0;
    bool result = true;
    bool subDirFailed = false;
    Tree::walkBreadthFirst(top, true, [&](const Tree::DirHandle& dir, const Tree::Entry& entry) {
        // A link carries no permission of its own, and its target may lie outside the tree.
        std::uint32_t error = entry.info.kind == fs::EntryKind::Link
                                  ? fs::FileSystemError::Success
                                  : dir.changeMode(entry.name, flags, &entry.info);
        if (error == fs::FileSystemError::IsALink) // swapped for a link since the listing
            error = fs::FileSystemError::Success;
        if (entry.info.kind == fs::EntryKind::Directory) {
            if (Listing::isGone(error))
                return Tree::Next::Go;
            subDirFailed = error != fs::FileSystemError::Success;
            return subDirFailed ? Tree::Next::Stop : Tree::Next::Enter;
        }
        const bool ok = error == fs::FileSystemError::Success || Listing::isGone(error);
        if (!ok)
            result = false;
        if (progress)
            progress(entry.name, ok ? ProgressPermissionSet : ProgressPermissionFailed, ++done, total);
        return Tree::Next::Go;
    });
    return result && !subDirFailed;
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
    // The file is written whole under a fresh name beside the target and then renamed over it: a link
    // or hard link planted under the target's name is replaced, never written through, and a reader
    // sees the old content or the new, never a part.
    Tree::Place place;
    const std::uint32_t looked = path.empty() ? fs::FileSystemError::FileNotFound : Tree::locate(path, place);
    if (!place.holder.isOpen() || !place.isEntry() ||
        (looked != fs::FileSystemError::Success && !Listing::isGone(looked)))
        return false;
    unsigned mode = kNewFileMode;
    if (looked == fs::FileSystemError::Success) {
        const fs::EntryKind kind = place.info.kind;
        // Never a directory, a device or a FIFO; a read-only file refuses writing as it always did.
        if (kind == fs::EntryKind::Directory || kind == fs::EntryKind::Other ||
            (kind == fs::EntryKind::File && place.info.readOnly))
            return false;
        // The file in place keeps who may read it.
        if (kind == fs::EntryKind::File && place.info.posixMode != 0)
            mode = place.info.posixMode & 0777;
    }
    fs::FileHandle file;
    std::string fresh;
    for (unsigned attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
        fresh = freshName();
        const std::uint32_t error = file.createNew(place.holder, fresh, mode);
        if (error == fs::FileSystemError::Success)
            break;
        if (error != fs::FileSystemError::AlreadyExists)
            return false;
    }
    if (!file.isOpen())
        return false;
    const bool written = file.write(data.data(), data.size()) == fs::FileSystemError::Success &&
                         file.sync() == fs::FileSystemError::Success;
    if (file.close() != fs::FileSystemError::Success || !written ||
        place.holder.rename(fresh, place.name) != fs::FileSystemError::Success) {
        place.holder.removeFile(fresh);
        return false;
    }
    place.holder.sync();
    return true;
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
