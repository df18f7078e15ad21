#include "WinRegistry.h"

#include "platform/FileErrors.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

#include <map>
#include <new>

namespace VeltorCorelib {

namespace {

namespace Error = VeltorPlatform::FileSystemError;
using VeltorPlatform::RegistryKey;
using VeltorPlatform::RegistryRoot;

const char kResourcesKey[] = "SOFTWARE\\Veltor\\Resources";
constexpr std::size_t kResourcesKeyLength = sizeof kResourcesKey - 1; // 25

bool lookupHive(const std::string& hive, RegistryRoot& root) {
    static const std::map<std::string, RegistryRoot> hives = {
        {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
        {"HKEY_USERS", RegistryRoot::Users},
        {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
        {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    };
    auto found = hives.find(hive);
    if (found == hives.end())
        return false;
    root = found->second;
    return true;
}

std::uint32_t viewFlag(bool with64BitView) {
    return with64BitView ? VeltorPlatform::kRegView64 : 0;
}

// Attaches what the platform knows about a failure of the registry's backing file (its name, the line
// of a malformed entry), so the message says more than "unknown error".
template <typename Error> [[noreturn]] void raise(Error error) {
    const std::string& detail = VeltorPlatform::registryErrorDetail();
    if (!detail.empty())
        error.addContained(
            WinRegistry::File_Error(std::string("@winregistry.file.error{%};"), makeParams(detail)));
    throw error;
}

#define REGISTRY_THROW(Type, message, ...) raise(Type((message), VELTOR_SOURCE, makeParams(__VA_ARGS__)))

void openForReading(const std::string& hive, const std::string& key, bool with64BitView, RegistryKey& handle,
                    std::string& resolved) {
    RegistryRoot root;
    if (!lookupHive(hive, root))
        VELTOR_THROW(WinRegistry::Get_BadArguments, "@winregistry.get.bad-arguments{Invalid argument \"%\"};",
                     hive);
    resolved = WinRegistry::resolveKeyPath(key);
    std::uint32_t result = VeltorPlatform::regOpenKey(
        root, resolved, VeltorPlatform::kRegRead | viewFlag(with64BitView), handle);
    switch (result) {
    case 0:
        return;
    case Error::AccessDenied:
        REGISTRY_THROW(WinRegistry::Get_AccessDenied,
                       "@winregistry.get.access-denied{Access denied when trying to get \"%\"->\"%\"};", hive,
                       resolved);
    case Error::FileNotFound:
    case Error::KeyNotFound:
        REGISTRY_THROW(WinRegistry::Get_NotFound,
                       "@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};", hive,
                       resolved);
    case Error::OutOfMemory:
        VELTOR_THROW_OOM(WinRegistry::Get_OutOfMemory);
    default:
        REGISTRY_THROW(WinRegistry::Get_UnknownError,
                       "@winregistry.get.unknown-error{Unknown error when trying to get \"%\"->\"%\"};", hive,
                       resolved);
    }
}

// The value's data with its trailing NULs dropped.
std::string readValue(const std::string& hive, const std::string& key, const std::string& value,
                      bool with64BitView, std::uint32_t expectedType) {
    RegistryKey handle;
    std::string resolved;
    openForReading(hive, key, with64BitView, handle, resolved);
    std::string buffer(256, '\0');
    std::uint32_t type = 0;
    auto size = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t result =
        VeltorPlatform::regQueryValue(handle, value, type, reinterpret_cast<std::uint8_t*>(&buffer[0]), size);
    while (result == Error::MoreData) {
        // The value may grow between the calls: ask again until it fits.
        std::string larger(size > buffer.size() ? size : 2 * buffer.size(), '\0');
        buffer.swap(larger);
        size = static_cast<std::uint32_t>(buffer.size());
        result = VeltorPlatform::regQueryValue(handle, value, type,
                                               reinterpret_cast<std::uint8_t*>(&buffer[0]), size);
    }
    handle.close();
    std::string keyText = hive + "\\" + key;
    if (result != 0)
        REGISTRY_THROW(WinRegistry::Get_NotFound,
                       "@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};", keyText,
                       value);
    if (type != expectedType)
        VELTOR_THROW(
            WinRegistry::Get_WrongType,
            "@winregistry.get.wrong-type{Cannot get \"%\"->\"%\" of type % because the actual type is %};",
            keyText, value, expectedType, type);
    buffer.resize(size);
    while (!buffer.empty() && buffer.back() == '\0')
        buffer.pop_back();
    return buffer;
}

void writeValue(const std::string& hive, const std::string& key, const std::string& value, std::uint32_t type,
                const std::string& data, bool with64BitView) {
    RegistryRoot root;
    if (!lookupHive(hive, root))
        VELTOR_THROW(WinRegistry::Set_BadArguments, "@winregistry.set.bad-arguments{Invalid argument \"%\"};",
                     hive);
    std::string resolved = WinRegistry::resolveKeyPath(key);
    RegistryKey handle;
    std::uint32_t result = VeltorPlatform::regCreateKey(
        root, resolved, VeltorPlatform::kRegWrite | viewFlag(with64BitView), handle);
    switch (result) {
    case 0:
        break;
    case Error::AccessDenied:
        REGISTRY_THROW(WinRegistry::Set_AccessDenied,
                       "@winregistry.set.access-denied{Access denied when trying to set \"%\"->\"%\"};", hive,
                       resolved);
    case Error::OutOfMemory:
        VELTOR_THROW_OOM(WinRegistry::Set_OutOfMemory);
    default:
        REGISTRY_THROW(WinRegistry::Set_UnknownError,
                       "@winregistry.set.unknown-error{Unknown error when trying to set \"%\"->\"%\"};", hive,
                       resolved);
    }
    result =
        VeltorPlatform::regSetValue(handle, value, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size()));
    handle.close();
    std::string keyText = hive + "\\" + key;
    switch (result) {
    case 0:
        return;
    case Error::AccessDenied:
        REGISTRY_THROW(WinRegistry::Set_AccessDenied,
                       "@winregistry.set.access-denied{Access denied when trying to set \"%\"->\"%\"};",
                       keyText, value);
    case Error::OutOfMemory:
        VELTOR_THROW_OOM(WinRegistry::Set_OutOfMemory);
    default:
        REGISTRY_THROW(WinRegistry::Set_UnknownError,
                       "@winregistry.set.unknown-error{Unknown error when trying to set \"%\"->\"%\"};",
                       keyText, value);
    }
}

} // namespace

std::string WinRegistry::resolveKeyPath(const std::string& key) {
    std::string path(key);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    // The key itself or one below it; a sibling that merely shares the prefix ("ResourcesX") is not it.
    if (path.compare(0, kResourcesKeyLength, kResourcesKey) != 0 ||
        (path.size() > kResourcesKeyLength && path[kResourcesKeyLength] != '\\'))
        return path;
    // An empty value counts as unset: it would send every read to the root of the hive.
    std::string environment;
    if (!VeltorPlatform::getEnvironment("VELTOR_ENV", environment) || environment.empty())
        return path;
    return environment + path.substr(kResourcesKeyLength);
}

std::string WinRegistry::getString(const std::string& hive, const std::string& key, const std::string& value,
                                   bool with64BitView) {
    try {
        return readValue(hive, key, value, with64BitView, VeltorPlatform::kRegString);
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Get_OutOfMemory);
    }
}

std::vector<std::string> WinRegistry::getMultiString(const std::string& hive, const std::string& key,
                                                     const std::string& value, bool with64BitView) {
    try {
        std::string text = readValue(hive, key, value, with64BitView, VeltorPlatform::kRegMultiString);
        // Each NUL ends an item; two NULs in a row end the list; text after the last NUL is one more item.
        std::vector<std::string> items;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = text.find('\0', start);
            if (end == std::string::npos) {
                if (start < text.size())
                    items.push_back(text.substr(start));
                break;
            }
            if (end == start && start > 0)
                break;
            items.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return items;
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Get_OutOfMemory);
    }
}

std::vector<std::string> WinRegistry::getSubKeys(const std::string& hive, const std::string& key,
                                                 bool with64BitView) {
    try {
        RegistryKey handle;
        std::string resolved;
        openForReading(hive, key, with64BitView, handle, resolved);
        std::vector<std::string> names;
        std::string buffer(256, '\0');
        for (std::uint32_t index = 0;;) {
            auto length = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t result = VeltorPlatform::regEnumKey(handle, index, &buffer[0], length);
            if (result == 0) {
                names.emplace_back(buffer.data(), length);
                ++index;
            } else if (result == Error::NoMoreItems) {
                break;
            } else if (result == Error::MoreData) {
                buffer.assign(2 * buffer.size(), '\0');
            } else {
                handle.close();
                REGISTRY_THROW(
                    Get_UnknownError,
                    "@winregistry.get.unknown-error{Unknown error when trying to get \"%\"->\"%\"};", hive,
                    resolved);
            }
        }
        handle.close();
        return names;
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Get_OutOfMemory);
    }
}

void WinRegistry::setString(const std::string& hive, const std::string& key, const std::string& value,
                            const std::string& text, bool with64BitView) {
    try {
        writeValue(hive, key, value, VeltorPlatform::kRegString, text + '\0', with64BitView);
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Set_OutOfMemory);
    }
}

void WinRegistry::setMultiString(const std::string& hive, const std::string& key, const std::string& value,
                                 const std::vector<std::string>& items, bool with64BitView) {
    try {
        std::string data;
        for (const std::string& item : items) {
            data += item;
            data.push_back('\0');
        }
        data.push_back('\0');
        writeValue(hive, key, value, VeltorPlatform::kRegMultiString, data, with64BitView);
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Set_OutOfMemory);
    }
}

} // namespace VeltorCorelib
