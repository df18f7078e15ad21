#include "platform/LogFile.h"

#include "Errors.h"
#include "WideCalls.h"
#include "platform/DirHandle.h"

namespace VeltorPlatform {

struct LogFile::State {
    HANDLE file = INVALID_HANDLE_VALUE;
    ~State() {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;

namespace {

bool isLinkOrOther(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

std::uint32_t refusal(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileSystemError::IsALink
                                                            : FileSystemError::NotARegularFile;
}

} // namespace

std::uint32_t LogFile::open(const std::string& path, std::uint64_t rotateBytes) {
    close();
    if (path.empty() || path.back() == '\\' || path.back() == '/' || path.find('\0') != std::string::npos)
        return FileSystemError::InvalidParameter;
    WIN32_FILE_ATTRIBUTE_DATA found{};
    const std::wstring wide = Wide::toWide(path);
    if (::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &found)) {
        if (isLinkOrOther(found.dwFileAttributes))
            return refusal(found.dwFileAttributes);
        const std::uint64_t size =
            (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        // MoveFileEx moves a link itself, never its target.
        if (size > rotateBytes && !Wide::moveFile(path, path + ".1", MOVEFILE_REPLACE_EXISTING))
            return Win32::lastError();
    }
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link put there meanwhile as itself, so it is seen and refused
    // below instead of being written through. Others may read the log while a run writes it.
    const HANDLE file =
        Wide::createFile(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE)
        return Win32::lastError();
    auto opened = std::make_unique<State>();
    opened->file = file;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return Win32::lastError();
    if (isLinkOrOther(info.dwFileAttributes) || ::GetFileType(file) != FILE_TYPE_DISK)
        return refusal(info.dwFileAttributes);
    state = std::move(opened);
    return FileSystemError::Success;
}

bool LogFile::isOpen() const {
    return state != nullptr;
}

std::uint32_t LogFile::write(const char* data, std::size_t size) {
    if (!state)
        return FileSystemError::InvalidParameter;
    // The line ends a Windows log is read with.
    std::string text;
    text.reserve(size + size / 32);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))
            text += '\r';
        text += data[i];
    }
    for (std::size_t at = 0; at < text.size();) {
        const DWORD piece = text.size() - at > 0x100000 ? 0x100000 : static_cast<DWORD>(text.size() - at);
        DWORD written = 0;
        if (!::WriteFile(state->file, text.data() + at, piece, &written, nullptr))
            return Win32::lastError();
        at += written;
    }
    return FileSystemError::Success;
}

void LogFile::close() {
    state.reset();
}

} // namespace VeltorPlatform
