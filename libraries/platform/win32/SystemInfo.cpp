#include "platform/SystemInfo.h"

#include <iphlpapi.h>
#include <lm.h>
#include <windows.h>
#include <winsock2.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace VeltorPlatform {

namespace {

std::string narrowFromWide(const wchar_t* text) {
    if (text == nullptr || *text == L'\0')
        return std::string();
    char buffer[257] = {};
    int written = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, 256, nullptr, nullptr);
    if (written <= 0) // too long for the buffer: keep what fits
        buffer[256] = '\0';
    return buffer;
}

std::wstring wideFromNarrow(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring result(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], units);
    result.resize(static_cast<std::size_t>(units - 1));
    return result;
}

bool readRegistryText(HKEY root, const std::string& path, const char* value, std::string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buffer[std::min<DWORD>(size, sizeof buffer - 1)] = '\0';
    text = buffer;
    return true;
}

// "<id> <layout text> (<dos code>)" with the parts that exist.
std::string languageText(const std::string& identifier) {
    if (identifier.empty())
        return std::string();
    std::string layoutId = identifier;
    if (layoutId.size() < 8)
        layoutId.insert(0, 8 - layoutId.size(), '0');
    std::string text = identifier;
    std::string layout;
    if (readRegistryText(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\" + layoutId,
                         "Layout Text", layout) &&
        !layout.empty())
        text += " " + layout;
    std::string dosCode;
    if (readRegistryText(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Control\\Keyboard Layout\\DosKeybCodes",
                         layoutId.c_str(), dosCode) &&
        !dosCode.empty())
        text += " (" + dosCode + ")";
    return text;
}

bool runsUnderWow64() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr)
        return false;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL result = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &result) && result;
}

bool nativeSystemInfo(SYSTEM_INFO& info) {
    using GetNativeSystemInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);
    ZeroMemory(&info, sizeof info);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return false;
    auto get = reinterpret_cast<GetNativeSystemInfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (get == nullptr)
        return false;
    get(&info);
    return true;
}

bool versionAtLeast(DWORD major, DWORD minor) {
    OSVERSIONINFOEXW wanted;
    ZeroMemory(&wanted, sizeof wanted);
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    DWORDLONG condition = 0;
    condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
}

} // namespace

bool computerName(std::string& name) {
    char buffer[128] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size))
        return false;
    name.assign(buffer, std::min<DWORD>(size, sizeof buffer - 1));
    return true;
}

std::string dnsDomain() {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameExA(ComputerNameDnsDomain, buffer, &size))
        return std::string();
    return std::string(buffer, std::min<DWORD>(size, sizeof buffer - 1));
}

bool workgroup(std::string& name) {
    LPBYTE buffer = nullptr;
    if (NetWkstaGetInfo(nullptr, 100, &buffer) != NERR_Success || buffer == nullptr)
        return false;
    name = narrowFromWide(reinterpret_cast<WKSTA_INFO_100*>(buffer)->wki100_langroup);
    NetApiBufferFree(buffer);
    return true;
}

OsVersion osVersion() {
    OsVersion result;
    result.family = "windows";
    result.name = "windows";
    const bool bits64 = osIs64Bit();
    OSVERSIONINFOEXA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    const bool haveInfo = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != FALSE;
    const bool server = haveInfo && info.wProductType != VER_NT_WORKSTATION;
    if (haveInfo)
        result.release = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                         "." + std::to_string(info.dwBuildNumber);

    // Without a manifest, 6.2 and later all report 6.2 through GetVersionEx; the verification call
    // still tells 6.3 apart.
    if (versionAtLeast(6, 2)) {
        result.majorText = "8";
        if (versionAtLeast(6, 3)) {
            result.minorText = "10";
            result.versionNumber = "810";
            result.name += server ? "_server2012R2" : "_810";
        } else {
            result.minorText = "0";
            result.versionNumber = "800";
            result.name += server ? "_server2012" : "_8";
        }
        if (bits64)
            result.name += "_x64";
        return result;
    }
    if (!haveInfo) {
        result.name = "windows_unknown";
        return result;
    }
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    result.majorText = std::to_string(major);
    result.minorText = std::to_string(minor);
    result.versionNumber = std::to_string(major * 100 + minor);
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return result;
    const std::string servicePack =
        info.wServicePackMajor != 0 ? "_sp" + std::to_string(info.wServicePackMajor) : std::string();
    if (major == 3) {
        result.name = "windows_nt3";
    } else if (major == 4) {
        result.name = "windows_nt4";
    } else if (major == 5) {
        if (minor == 0) {
            result.name += "2000";
        } else if (minor == 1) {
            result.name += "_xp";
        } else if (minor == 2) {
            if (info.wProductType == VER_NT_WORKSTATION)
                result.name += "_xp_x64";
            else if (GetSystemMetrics(SM_SERVERR2) != 0)
                result.name += "_server2003_r2";
            else if (info.wProductType == VER_NT_DOMAIN_CONTROLLER)
                result.name += "_nt-domain-controller";
            else if (info.wProductType == VER_NT_SERVER)
                result.name += "_server2003";
            else
                result.name += "_unknown";
            if (info.wSuiteMask & VER_SUITE_PERSONAL)
                result.name += "_home";
            result.name += servicePack;
        } else {
            result.name += "_" + result.majorText + "." + result.minorText;
        }
    } else if (major == 6) {
        if (minor == 0)
            result.name += server ? "_server2008" : "_vista";
        else if (minor == 1)
            result.name += server ? "_server2008R2" : "_7";
        SYSTEM_INFO system;
        nativeSystemInfo(system);
        if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
            result.name += "_x64";
        else if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64)
            result.name += "_ia64";
        result.name += servicePack;
    }
    return result;
}

std::string processorArchitecture() {
    SYSTEM_INFO info;
    if (!nativeSystemInfo(info))
        return std::string();
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return "i" + std::to_string(info.dwProcessorType);
    case PROCESSOR_ARCHITECTURE_MIPS:
        return "mips";
    case PROCESSOR_ARCHITECTURE_ALPHA:
        return "alpha";
    case PROCESSOR_ARCHITECTURE_PPC:
        return "powerpc";
    case PROCESSOR_ARCHITECTURE_IA64:
        return "ia64";
    case PROCESSOR_ARCHITECTURE_AMD64:
        return "amd64";
    case PROCESSOR_ARCHITECTURE_IA32_ON_WIN64:
        return "ia32_on_win64";
    case PROCESSOR_ARCHITECTURE_UNKNOWN:
        return "unknown";
    default:
        return "error";
    }
}

bool osIs64Bit() {
    return sizeof(void*) == 8 || runsUnderWow64();
}

std::string osLanguage() {
    std::string identifier;
    readRegistryText(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "Default",
                     identifier);
    return languageText(identifier);
}

std::string keyboardLanguage() {
    std::string identifier;
    readRegistryText(HKEY_CURRENT_USER, "Keyboard Layout\\Preload", "1", identifier);
    return languageText(identifier);
}

std::string keyboardType() {
    return std::to_string(GetKeyboardType(0)) + "(" + std::to_string(GetKeyboardType(1)) + "," +
           std::to_string(GetKeyboardType(2)) + ")";
}

bool userName(std::string& name) {
    std::string buffer(20, '\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (GetUserNameA(&buffer[0], &size)) {
            buffer.resize(size > 0 ? size - 1 : 0); // the size counts the terminator
            name = buffer;
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER && GetLastError() != ERROR_MORE_DATA)
            return false;
        if (size <= buffer.size())
            return false;
        buffer.assign(size, '\0');
    }
}

bool sessionNumber(std::uint32_t& number) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return false;
    number = session;
    return true;
}

std::string terminalClientName() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return std::string();
    LPSTR buffer = nullptr;
    DWORD size = 0;
    if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, session, WTSClientName, &buffer, &size) ||
        buffer == nullptr)
        return std::string();
    std::string name = buffer;
    WTSFreeMemory(buffer);
    return name;
}

std::vector<std::string> localGroups() {
    std::set<std::string> names;
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    DWORD_PTR resume = 0;
    NET_API_STATUS rc = NetLocalGroupEnum(nullptr, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (rc == NERR_Success && buffer != nullptr) {
        auto* groups = reinterpret_cast<LOCALGROUP_INFO_0*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            names.insert(narrowFromWide(groups[i].lgrpi0_name));
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    if (rc != NERR_Success)
        names.clear();
    return std::vector<std::string>(names.begin(), names.end());
}

std::vector<std::string> localGroupMembers(const std::string& group) {
    std::vector<std::string> members;
    const std::wstring name = wideFromNarrow(group);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    DWORD_PTR resume = 0;
    NET_API_STATUS rc = NetLocalGroupGetMembers(nullptr, name.c_str(), 3, &buffer, MAX_PREFERRED_LENGTH,
                                                &read, &total, &resume);
    if (rc == NERR_Success && buffer != nullptr) {
        auto* entries = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            members.push_back(narrowFromWide(entries[i].lgrmi3_domainandname));
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    // Unknown groups (ERROR_NO_SUCH_ALIAS, NERR_GroupNotFound), denied access and every other failure:
    // no members.
    if (rc != NERR_Success)
        members.clear();
    return members;
}

std::vector<std::string> ipv4Addresses() {
    std::vector<std::string> addresses;
    ULONG size = sizeof(MIB_IPADDRTABLE);
    std::vector<unsigned char> buffer(size);
    DWORD rc;
    while ((rc = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data()), &size, FALSE)) ==
           ERROR_INSUFFICIENT_BUFFER)
        buffer.resize(size);
    if (rc != NO_ERROR)
        return addresses;
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const DWORD address = table->table[i].dwAddr; // network order in memory
        const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
        std::string text = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
        if (text != "127.0.0.1")
            addresses.push_back(text);
    }
    return addresses;
}

bool volumeSerial(const std::string& rootPath, std::uint64_t& serial) {
    DWORD number = 0;
    if (!GetVolumeInformationA(rootPath.c_str(), nullptr, 0, &number, nullptr, nullptr, nullptr, 0))
        return false;
    serial = number;
    return true;
}

void setEnvironment(const std::string& name, const std::string& value) {
    // The C runtime's copy serves getenv; the process block is what child processes inherit.
    _putenv_s(name.c_str(), value.c_str());
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

} // namespace VeltorPlatform
