// Shell shortcuts copied over from Windows installations: the target is read from the shortcut's own
// binary layout (header, optional item list, link information with the local base path).
#include "platform/FileSystem.h"
#include "platform/Utf.h"

#include <cstdio>
#include <cstring>

namespace VeltorPlatform {

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kHasItemList = 0x1;
constexpr std::uint32_t kHasLinkInfo = 0x2;
constexpr std::uint32_t kLocalBasePath = 0x1;
// The shell-link class id as stored in the header.
constexpr unsigned char kShellLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// Shortcuts are small; anything larger is not one.
constexpr std::size_t kMaxShortcutSize = 1 << 20;

bool readU16(const std::string& data, std::size_t at, std::uint32_t& value) {
    if (at > data.size() || data.size() - at < 2)
        return false;
    value = static_cast<unsigned char>(data[at]) | (static_cast<unsigned char>(data[at + 1]) << 8);
    return true;
}

bool readU32(const std::string& data, std::size_t at, std::uint32_t& value) {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (!readU16(data, at, low) || !readU16(data, at + 2, high))
        return false;
    value = low | (high << 16);
    return true;
}

// A zero-terminated byte string inside [begin, end).
std::string narrowAt(const std::string& data, std::size_t at, std::size_t end) {
    std::string text;
    for (std::size_t i = at; i < end && data[i] != '\0'; ++i)
        text += data[i];
    return text;
}

// A zero-terminated UTF-16 string inside [begin, end), as UTF-8. An unpaired surrogate becomes U+FFFD,
// as the system's own conversion of a shortcut's wide path to a narrow one makes it.
std::string wideAt(const std::string& data, std::size_t at, std::size_t end) {
    std::size_t units = 0;
    std::uint32_t unit = 0;
    while (at + 2 * (units + 1) <= end && readU16(data, at + 2 * units, unit) && unit != 0)
        ++units;
    std::string text;
    const char* wide = data.data() + at;
    std::size_t done = Utf::utf16ToUtf8(wide, units, true, text);
    while (done < units) {
        Utf::appendUtf8(text, 0xFFFD); // for the unpaired surrogate
        ++done;
        done += Utf::utf16ToUtf8(wide + 2 * done, units - done, true, text);
    }
    return text;
}

std::string parseShortcut(const std::string& data) {
    std::uint32_t headerSize = 0;
    std::uint32_t flags = 0;
    if (!readU32(data, 0, headerSize) || headerSize != kHeaderSize || data.size() < kHeaderSize ||
        std::memcmp(data.data() + 4, kShellLinkClass, sizeof kShellLinkClass) != 0 ||
        !readU32(data, 0x14, flags))
        return std::string();
    std::size_t at = kHeaderSize;
    if ((flags & kHasItemList) != 0) {
        std::uint32_t listSize = 0;
        if (!readU16(data, at, listSize))
            return std::string();
        at += 2 + listSize;
    }
    if ((flags & kHasLinkInfo) == 0)
        return std::string();
    std::uint32_t infoSize = 0;
    std::uint32_t infoHeaderSize = 0;
    std::uint32_t infoFlags = 0;
    std::uint32_t baseOffset = 0;
    std::uint32_t suffixOffset = 0;
    if (!readU32(data, at, infoSize) || !readU32(data, at + 4, infoHeaderSize) ||
        !readU32(data, at + 8, infoFlags) || !readU32(data, at + 16, baseOffset) ||
        !readU32(data, at + 24, suffixOffset))
        return std::string();
    if (infoSize > data.size() - at || (infoFlags & kLocalBasePath) == 0)
        return std::string();
    std::size_t end = at + infoSize;
    std::string base;
    std::string suffix;
    std::uint32_t wideBase = 0;
    std::uint32_t wideSuffix = 0;
    // Newer shortcuts also carry the paths as UTF-16, which keeps names outside the code page intact.
    if (infoHeaderSize >= 0x24 && readU32(data, at + 28, wideBase) && readU32(data, at + 32, wideSuffix) &&
        wideBase != 0 && wideBase < infoSize) {
        base = wideAt(data, at + wideBase, end);
        if (wideSuffix != 0 && wideSuffix < infoSize)
            suffix = wideAt(data, at + wideSuffix, end);
    } else {
        if (baseOffset == 0 || baseOffset >= infoSize)
            return std::string();
        base = narrowAt(data, at + baseOffset, end);
        if (suffixOffset != 0 && suffixOffset < infoSize)
            suffix = narrowAt(data, at + suffixOffset, end);
    }
    return base + suffix;
}

} // namespace

std::uint32_t readShortcutTarget(const std::string& path, std::string& target) {
    target.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return FileSystemError::Success; // unreadable: no target
    std::string data;
    char buffer[4096];
    std::size_t count = 0;
    while (data.size() <= kMaxShortcutSize && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.append(buffer, count);
    std::fclose(file);
    if (data.size() <= kMaxShortcutSize)
        target = parseShortcut(data);
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
