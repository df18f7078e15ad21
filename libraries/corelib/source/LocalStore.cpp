#include "LocalStore.h"

#include "Exception.h"
#include "ParamStream.h"
#include "ProcessLock.h"

#include "platform/FileReplace.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SystemInfo.h"

#include <cstdio>

namespace VeltorCorelib {

namespace {

const char* const kValueFiles[] = {"string", "int32", "uint32", "int64", "uint64", "double", "list"};

bool isDirectory(const std::string& path) {
    std::uint32_t attributes = 0;
    return VeltorPlatform::getFileAttributes(path, attributes) == 0 &&
           (attributes & VeltorPlatform::FileAttribute::Directory) != 0;
}

bool exists(const std::string& path) {
    std::uint32_t attributes = 0;
    return VeltorPlatform::getFileAttributes(path, attributes) == 0;
}

// Creates the directory and every missing parent; true when it exists afterwards.
bool makeDirectories(const std::string& path) {
    if (path.empty() || isDirectory(path))
        return true;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
        return false;
    const std::uint32_t rc = VeltorPlatform::createDirectory(path);
    return rc == 0 || (rc == VeltorPlatform::FileSystemError::AlreadyExists && isDirectory(path));
}

// Holds the key's lock for one operation when locking is asked for.
class KeyLock {
public:
    KeyLock(const std::string& directory, bool locking) : lock(directory), wanted(locking) {}
    ~KeyLock() {
        if (held)
            lock.unlock();
    }
    bool acquire() {
        if (!wanted)
            return true;
        held = lock.lock(LocalStore::kLockTimeoutMs);
        return held;
    }

private:
    ProcessLock lock;
    bool wanted;
    bool held = false;
};

void readWholeFile(const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw Exception(std::string("@local-store.read.failed{Could not read \"%\"};"), VELTOR_SOURCE,
                        makeParams(path));
    text.clear();
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw Exception(std::string("@local-store.read.failed{Could not read \"%\"};"), VELTOR_SOURCE,
                        makeParams(path));
}

bool replaceFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".new" + std::to_string(VeltorPlatform::currentProcessId());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        VeltorPlatform::deleteFile(temporary);
        return false;
    }
    // One step from the old value to the new: a reader never finds the value missing, and a crash
    // leaves one or the other.
    if (VeltorPlatform::replaceFile(temporary, path) != 0) {
        VeltorPlatform::deleteFile(temporary);
        return false;
    }
    return true;
}

std::uint32_t readUnlocked(const std::string& key, std::uint32_t type, std::string& text) {
    return LocalStore::read(key, type, false, text);
}

template <typename Number, typename Parse>
std::uint32_t readNumber(const std::string& key, std::uint32_t type, bool locking, Number& value,
                         Parse parse) {
    std::string text;
    const std::uint32_t status = LocalStore::read(key, type, locking, text);
    if (status == LocalStore::Done)
        value = parse(text);
    return status;
}

template <typename Number, typename Parse, typename Format>
std::uint32_t addNumber(const std::string& key, std::uint32_t type, Number delta, Parse parse,
                        Format format) {
    const std::string directory = LocalStore::keyDirectory(key);
    if (directory.empty())
        return LocalStore::BadKey;
    if (!makeDirectories(directory))
        return LocalStore::WriteFailed;
    KeyLock lock(directory, true);
    if (!lock.acquire())
        return LocalStore::LockFailed;
    std::string text;
    Number current = 0;
    const std::uint32_t status = readUnlocked(key, type, text);
    if (status == LocalStore::Done)
        current = parse(text);
    else if (status != LocalStore::NoKey && status != LocalStore::NoValue)
        return status;
    return LocalStore::write(key, type, format(current, delta), false);
}

std::string int64Text(std::int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
}

} // namespace

std::string LocalStore::root() {
    std::string value;
    if (VeltorPlatform::getEnvironment("VELTOR_FREG", value) && !value.empty())
        return value;
#ifdef _WIN32
    return "C:/veltor/freg";
#else
    return "/var/lib/veltor/freg";
#endif
}

std::string LocalStore::keyDirectory(const std::string& key) {
    std::vector<std::string> parts;
    std::string part;
    auto take = [&]() {
        if (part.empty() || part == ".") {
            // nothing
        } else if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
        part.clear();
        return true;
    };
    for (char c : key) {
        if (c == '/' || c == '\\') {
            if (!take())
                return std::string();
        } else {
            part += c;
        }
    }
    if (!take() || parts.empty())
        return std::string();
    std::string directory = root();
    for (const std::string& name : parts)
        directory += "/" + name;
    return directory;
}

std::string LocalStore::valueFile(const std::string& key, std::uint32_t type) {
    if (type > List)
        return std::string();
    const std::string directory = keyDirectory(key);
    return directory.empty() ? directory : directory + "/" + kValueFiles[type];
}

std::uint32_t LocalStore::read(const std::string& key, std::uint32_t type, bool locking, std::string& text) {
    if (type > List)
        return BadType;
    const std::string directory = keyDirectory(key);
    if (directory.empty())
        return BadKey;
    if (!isDirectory(directory))
        return NoKey;
    // The lock first: whether the value exists is only settled while no writer is at work.
    KeyLock lock(directory, locking);
    if (!lock.acquire())
        return LockFailed;
    const std::string file = directory + "/" + kValueFiles[type];
    if (!exists(file))
        return NoValue;
    try {
        readWholeFile(file, text);
    } catch (const Exception&) {
        return ReadFailed;
    }
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return Done;
}

std::uint32_t LocalStore::write(const std::string& key, std::uint32_t type, const std::string& text,
                                bool locking) {
    if (type > List)
        return BadType;
    const std::string directory = keyDirectory(key);
    if (directory.empty())
        return BadKey;
    if (!makeDirectories(directory))
        return WriteFailed;
    KeyLock lock(directory, locking);
    if (!lock.acquire())
        return LockFailed;
    return replaceFile(directory + "/" + kValueFiles[type], text + "\n") ? Done : WriteFailed;
}

std::uint32_t LocalStore::readString(const std::string& key, bool locking, std::string& value) {
    std::string text;
    const std::uint32_t status = read(key, String, locking, text);
    if (status == Done)
        value = unescapeString(text);
    return status;
}

std::uint32_t LocalStore::writeString(const std::string& key, const std::string& value, bool locking) {
    return write(key, String, escapeString(value), locking);
}

std::uint32_t LocalStore::readInt64(const std::string& key, bool locking, std::int64_t& value) {
    return readNumber(key, Int64, locking, value, [](const std::string& t) { return ParamText::toInt64(t); });
}

std::uint32_t LocalStore::writeInt64(const std::string& key, std::int64_t value, bool locking) {
    return write(key, Int64, int64Text(value), locking);
}

std::uint32_t LocalStore::readUInt64(const std::string& key, bool locking, std::uint64_t& value) {
    return readNumber(key, UInt64, locking, value,
                      [](const std::string& t) { return ParamText::toUInt64(t); });
}

std::uint32_t LocalStore::writeUInt64(const std::string& key, std::uint64_t value, bool locking) {
    return write(key, UInt64, ParamText::fromUInt64(value), locking);
}

std::uint32_t LocalStore::readDouble(const std::string& key, bool locking, double& value) {
    return readNumber(key, Double, locking, value,
                      [](const std::string& t) { return ParamText::toDouble(t); });
}

std::uint32_t LocalStore::writeDouble(const std::string& key, double value, bool locking) {
    return write(key, Double, ParamText::fromDouble(value), locking);
}

std::uint32_t LocalStore::readList(const std::string& key, bool locking, std::vector<std::string>& items) {
    std::string text;
    const std::uint32_t status = read(key, List, locking, text);
    if (status == Done)
        items = splitList(text);
    return status;
}

std::uint32_t LocalStore::writeList(const std::string& key, const std::vector<std::string>& items,
                                    bool locking) {
    return write(key, List, joinList(items), locking);
}

std::uint32_t LocalStore::addInt64(const std::string& key, std::int64_t delta) {
    return addNumber<std::int64_t>(
        key, Int64, delta, [](const std::string& t) { return ParamText::toInt64(t); },
        [](std::int64_t a, std::int64_t b) {
            return int64Text(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b)));
        });
}

std::uint32_t LocalStore::addUInt64(const std::string& key, std::uint64_t delta) {
    return addNumber<std::uint64_t>(
        key, UInt64, delta, [](const std::string& t) { return ParamText::toUInt64(t); },
        [](std::uint64_t a, std::uint64_t b) { return ParamText::fromUInt64(a + b); });
}

std::uint32_t LocalStore::addDouble(const std::string& key, double delta) {
    return addNumber<double>(
        key, Double, delta, [](const std::string& t) { return ParamText::toDouble(t); },
        [](double a, double b) { return ParamText::fromDouble(a + b); });
}

std::string LocalStore::escapeString(const std::string& value) {
    std::string text;
    text.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\':
            text += "\\\\";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\v':
            text += "\\v";
            break;
        case '\b':
            text += "\\b";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\f':
            text += "\\f";
            break;
        case '\a':
            text += "\\a";
            break;
        case '"':
            text += "\\\"";
            break;
        case '\'':
            text += "\\'";
            break;
        default:
            text += c;
        }
    }
    return text;
}

std::string LocalStore::unescapeString(const std::string& text) {
    std::string value;
    value.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            value += text[i];
            continue;
        }
        const char next = text[i + 1];
        char plain;
        switch (next) {
        case '\\':
            plain = '\\';
            break;
        case 'n':
            plain = '\n';
            break;
        case 't':
            plain = '\t';
            break;
        case 'v':
            plain = '\v';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'r':
            plain = '\r';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'a':
            plain = '\a';
            break;
        case '"':
            plain = '"';
            break;
        case '\'':
            plain = '\'';
            break;
        default:
            value += text[i]; // an unknown sequence stays as written
            continue;
        }
        value += plain;
        ++i;
    }
    return value;
}

std::string LocalStore::escapeListItem(const std::string& item) {
    std::string text;
    text.reserve(item.size());
    for (char c : item) {
        if (c == '\\')
            text += "\\\\";
        else if (c == ';')
            text += "\\:";
        else
            text += c;
    }
    return text;
}

std::string LocalStore::unescapeListItem(const std::string& text) {
    std::string item;
    item.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == ':')) {
            item += text[i + 1] == ':' ? ';' : '\\';
            ++i;
        } else {
            item += text[i];
        }
    }
    return item;
}

std::string LocalStore::joinList(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += escapeListItem(item) + ";";
    return text;
}

std::vector<std::string> LocalStore::splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semicolon = text.find(';', start);
        if (semicolon == std::string::npos) {
            if (start < text.size())
                items.push_back(unescapeListItem(text.substr(start)));
            return items;
        }
        items.push_back(unescapeListItem(text.substr(start, semicolon - start)));
        start = semicolon + 1;
    }
}

} // namespace VeltorCorelib
