// The local value store: small text files below one root directory, one directory per key and one
// file per value type ("string", "int32", "uint32", "int64", "uint64", "double", "list"). Access to a
// key is serialised across processes by a ProcessLock named after the key's directory.
//
// Root: "C:/veltor/freg" on Windows and "/var/lib/veltor/freg" on POSIX; on both systems the
// environment variable VELTOR_FREG, when set and not empty, names another root (tests use it).
//
// Every operation returns a status; none throws:
//   0 done, 1 type index above 6, 2 empty key (or a key that would leave the root), 3 the key's lock
//   could not be had within 10000 ms, 4 reading failed, 5 the key's directory does not exist,
//   6 the value file does not exist, 7 writing failed (the directory or the file could not be made).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace VeltorCorelib {

class LocalStore {
public:
    enum ValueType : std::uint32_t {
        String = 0,
        Int32 = 1,
        UInt32 = 2,
        Int64 = 3,
        UInt64 = 4,
        Double = 5,
        List = 6
    };
    enum Status : std::uint32_t {
        Done = 0,
        BadType = 1,
        BadKey = 2,
        LockFailed = 3,
        ReadFailed = 4,
        NoKey = 5,
        NoValue = 6,
        WriteFailed = 7
    };
    static const std::uint64_t kLockTimeoutMs = 10000;

    static std::string root();
    // root + "/" + the key as a relative path: '\' taken as '/', empty and "." components dropped, ".."
    // dropping the component before it. Empty when the key is empty or would climb above the root.
    static std::string keyDirectory(const std::string& key);
    // The file of a value; empty for a type index above 6 or a bad key.
    static std::string valueFile(const std::string& key, std::uint32_t type);

    // The whole file without one trailing newline.
    static std::uint32_t read(const std::string& key, std::uint32_t type, bool locking, std::string& text);
    // Replaces the file by text + "\n" (written beside it and renamed over it, so a reader never sees
    // half a value). Creates the key's directory when missing.
    static std::uint32_t write(const std::string& key, std::uint32_t type, const std::string& text,
                               bool locking);

    // Typed values in their text forms.
    static std::uint32_t readString(const std::string& key, bool locking, std::string& value);
    static std::uint32_t writeString(const std::string& key, const std::string& value, bool locking);
    static std::uint32_t readInt64(const std::string& key, bool locking, std::int64_t& value);
    static std::uint32_t writeInt64(const std::string& key, std::int64_t value, bool locking);
    static std::uint32_t readUInt64(const std::string& key, bool locking, std::uint64_t& value);
    static std::uint32_t writeUInt64(const std::string& key, std::uint64_t value, bool locking);
    static std::uint32_t readDouble(const std::string& key, bool locking, double& value);
    static std::uint32_t writeDouble(const std::string& key, double value, bool locking);
    static std::uint32_t readList(const std::string& key, bool locking, std::vector<std::string>& items);
    static std::uint32_t writeList(const std::string& key, const std::vector<std::string>& items,
                                   bool locking);

    // Additions under the key's lock; a missing value counts as 0. The 64-bit integers wrap around
    // instead of overflowing.
    static std::uint32_t addInt64(const std::string& key, std::int64_t delta);
    static std::uint32_t addUInt64(const std::string& key, std::uint64_t delta);
    static std::uint32_t addDouble(const std::string& key, double delta);

    // Text forms. Strings: backslash, newline, tab, vertical tab, backspace, carriage return, form feed,
    // bell, double quote and apostrophe as backslash escapes. List items: backslash doubled and ';' as
    // "\:"; each item followed by ';'. Unknown backslash sequences read back unchanged.
    static std::string escapeString(const std::string& value);
    static std::string unescapeString(const std::string& text);
    static std::string escapeListItem(const std::string& item);
    static std::string unescapeListItem(const std::string& text);
    static std::string joinList(const std::vector<std::string>& items);
    static std::vector<std::string> splitList(const std::string& text);
};

} // namespace VeltorCorelib
