#include "platform/FileErrors.h"

namespace VeltorPlatform {

namespace {

// Numbers of the application range (bit 29) are this program's own: they have words, never a
// Windows number to look up.
constexpr std::uint32_t kApplicationRange = 0x20000000;

const char* wordsOf(std::uint32_t error) {
    namespace E = FileSystemError;
    switch (error) {
    case E::FileNotFound:
    case E::PathNotFound:
        return "not found";
    case E::AccessDenied:
        return "access denied";
    case E::SharingViolation:
        return "in use by another process";
    case E::DiskFull:
        return "disk full";
    case E::DirNotEmpty:
        return "directory not empty";
    case E::NameTooLong:
        return "name too long";
    case E::NotADirectory:
        return "not a directory";
    case E::CannotResolve:
        return "too many links";
    case E::IoError:
        return "input/output error";
    case E::NotARegularFile:
        return "not a regular file";
    case E::IsALink:
        return "a link";
    case E::EntryChanged:
        return "another entry took its name";
    default:
        return nullptr;
    }
}

} // namespace

std::string errorText(std::uint32_t error) {
    const char* words = wordsOf(error);
    if ((error & kApplicationRange) != 0 && words != nullptr)
        return words;
    const std::string code = "win-error#" + std::to_string(error);
    return words != nullptr ? std::string(words) + ", " + code : code;
}

} // namespace VeltorPlatform
