// The registry: open, create, query a value, set a value, enumerate sub-keys, close. The calls keep the
// shapes of advapi32's ANSI functions and answer with Windows error numbers:
//   0 success, 2 not found, 5 access denied, 14 out of memory, 87 invalid parameter, 161 bad path name,
//   234 more data (buffer too small), 259 no more items, 1009 registry file malformed.
//
// Windows: the real registry; the access mask goes to the system unchanged, so 0x100 selects the 64-bit
// view and a 32-bit program without it sees the 32-bit view.
//
// POSIX: the registry is a text file in the .reg export format, named by the environment variable
// VELTOR_REGISTRY (default /etc/veltor/registry.reg); RegistryFile.h describes the format. Differences:
//   - there is one view: the 0x100 and 0x200 view bits are accepted and ignored;
//   - a missing file is an empty registry (the six root keys exist and are empty);
//   - every open or create reads the whole file once; the key keeps that snapshot (and the snapshot
//     its own writes produce), so it does not see later changes made by others;
//   - a file problem has its own result codes, and the text that explains it (file name, line number,
//     reason) is kept for the calling thread, see registryErrorDetail():
//       1009 the file is malformed (the detail names the line), or holds text that is not UTF-8;
//       5    the file is refused (whoever may write it decides what gets deleted): it is not a regular
//            file (a FIFO or device is never opened), it belongs to neither root nor the running user,
//            group or others may write it, or a directory on its real path (links resolved) is a
//            third user's or writable by group or others, root's sticky directories such as /tmp
//            excepted; or the system denied reading or writing it;
//       other errno values are mapped to their Windows numbers;
//   - a write (create of a missing key, set value, delete) takes an exclusive lock on "<file>.lock",
//     reads the file again, changes it and replaces it atomically (temporary file + rename). The file is
//     written in canonical form: "Windows Registry Editor Version 5.00", keys sorted, comments dropped;
//     a file that was UTF-16LE stays UTF-16LE;
//   - key and value names compare case-insensitively for ASCII letters only.
#pragma once
#include <cstdint>
#include <string>

namespace VeltorPlatform {

// The predefined root keys, in the order of their Windows handle values.
enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, CurrentConfig };

// Access rights and flags of the open and create calls.
constexpr std::uint32_t kRegQueryValue = 0x0001;
constexpr std::uint32_t kRegSetValue = 0x0002;
constexpr std::uint32_t kRegEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kRegRead = 0x20019;  // KEY_READ
constexpr std::uint32_t kRegWrite = 0x20006; // KEY_WRITE
constexpr std::uint32_t kRegView64 = 0x0100; // KEY_WOW64_64KEY
constexpr std::uint32_t kRegView32 = 0x0200; // KEY_WOW64_32KEY

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegString = 1;
constexpr std::uint32_t kRegExpandString = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiString = 7;
constexpr std::uint32_t kRegQword = 11;

// An open key; closed by its destructor.
class RegistryKey {
public:
    RegistryKey() noexcept = default;
    ~RegistryKey() { close(); }
    RegistryKey(RegistryKey&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            close();
            handle = other.handle;
            other.handle = nullptr;
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool isOpen() const noexcept { return handle != nullptr; }
    // RegCloseKey; closing a key that is not open does nothing and answers 0.
    std::uint32_t close() noexcept;

    // For the implementation: the system's handle (Windows) or the key's snapshot (POSIX).
    void* native() const noexcept { return handle; }
    void adopt(void* newHandle) noexcept {
        close();
        handle = newHandle;
    }

private:
    void* handle = nullptr;
};

// RegOpenKeyExA: opens an existing key below the root ("" opens the root itself).
std::uint32_t regOpenKey(RegistryRoot root, const std::string& path, std::uint32_t access, RegistryKey& key);

// RegCreateKeyExA: opens the key, creating it and any missing parents first.
std::uint32_t regCreateKey(RegistryRoot root, const std::string& path, std::uint32_t access,
                           RegistryKey& key);

// RegQueryValueExA: "" names the default value. On entry size is the buffer's size in bytes (data may be
// null to ask for the size only); on 0 or 234 it holds the size of the value's data. String data is
// narrow text and includes what was stored, terminating NULs too.
std::uint32_t regQueryValue(const RegistryKey& key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& size);

// RegSetValueExA.
std::uint32_t regSetValue(const RegistryKey& key, const std::string& name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size);

// RegEnumKeyExA: on entry length is the buffer's size in characters including the terminating NUL; on
// success it holds the name's length without it. 234 when the name does not fit, 259 past the last one.
std::uint32_t regEnumKey(const RegistryKey& key, std::uint32_t index, char* name, std::uint32_t& length);

// Deletes a key with all its sub-keys and values (RegDeleteTreeA + RegDeleteKeyExA). Test fixtures and
// installers use it; the program itself never deletes keys.
std::uint32_t regDeleteTree(RegistryRoot root, const std::string& path, std::uint32_t viewFlags);

// The explanation of the last failed call on this thread when the registry's backing file caused it
// (POSIX: "Registry file \"/etc/veltor/registry.reg\", line 7: ..."); empty otherwise, and always empty
// on Windows. Every call above resets it.
const std::string& registryErrorDetail();

// For the newcomer whose registry cannot be found at all: POSIX, when the registry file is missing or
// cannot be read, what is wrong with it ("no such file (set VELTOR_REGISTRY or create it; see README)"),
// with `file` set to its path, for the caller to print escaped; empty otherwise, and always empty on
// Windows.
std::string registrySourceNote(std::string& file);

} // namespace VeltorPlatform
