// The registry through advapi32's ANSI calls; results are the system's own.
#include "platform/Registry.h"

#include <windows.h>

namespace VeltorPlatform {

namespace {

HKEY rootHandle(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    case RegistryRoot::PerformanceData:
        return HKEY_PERFORMANCE_DATA;
    case RegistryRoot::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

HKEY handleOf(const RegistryKey& key) {
    return static_cast<HKEY>(key.native());
}

const std::string noDetail;

} // namespace

std::uint32_t RegistryKey::close() noexcept {
    if (!handle)
        return 0;
    LONG result = RegCloseKey(static_cast<HKEY>(handle));
    handle = nullptr;
    return static_cast<std::uint32_t>(result);
}

const std::string& registryErrorDetail() {
    return noDetail;
}

std::uint32_t regOpenKey(RegistryRoot root, const std::string& path, std::uint32_t access, RegistryKey& key) {
    key.close();
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(rootHandle(root), path.c_str(), 0, static_cast<REGSAM>(access), &opened);
    if (result == ERROR_SUCCESS)
        key.adopt(opened);
    return static_cast<std::uint32_t>(result);
}

std::uint32_t regCreateKey(RegistryRoot root, const std::string& path, std::uint32_t access,
                           RegistryKey& key) {
    key.close();
    HKEY created = nullptr;
    LONG result = RegCreateKeyExA(rootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  static_cast<REGSAM>(access), nullptr, &created, nullptr);
    if (result == ERROR_SUCCESS)
        key.adopt(created);
    return static_cast<std::uint32_t>(result);
}

std::uint32_t regQueryValue(const RegistryKey& key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& size) {
    DWORD valueType = 0;
    DWORD valueSize = size;
    LONG result = RegQueryValueExA(handleOf(key), name.c_str(), nullptr, &valueType, data, &valueSize);
    type = valueType;
    size = valueSize;
    return static_cast<std::uint32_t>(result);
}

std::uint32_t regSetValue(const RegistryKey& key, const std::string& name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) {
    return static_cast<std::uint32_t>(RegSetValueExA(handleOf(key), name.c_str(), 0, type, data, size));
}

std::uint32_t regEnumKey(const RegistryKey& key, std::uint32_t index, char* name, std::uint32_t& length) {
    DWORD nameLength = length;
    LONG result = RegEnumKeyExA(handleOf(key), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS)
        length = nameLength;
    return static_cast<std::uint32_t>(result);
}

std::uint32_t regDeleteTree(RegistryRoot root, const std::string& path, std::uint32_t viewFlags) {
    RegistryKey key;
    std::uint32_t result = regOpenKey(root, path, KEY_ALL_ACCESS | viewFlags, key);
    if (result != 0)
        return result;
    result = static_cast<std::uint32_t>(RegDeleteTreeA(handleOf(key), nullptr));
    key.close();
    if (result != 0)
        return result;
    return static_cast<std::uint32_t>(
        RegDeleteKeyExA(rootHandle(root), path.c_str(), static_cast<REGSAM>(viewFlags), 0));
}

std::string registrySourceNote(std::string&) {
    return std::string(); // the system's own registry is always there
}

} // namespace VeltorPlatform
