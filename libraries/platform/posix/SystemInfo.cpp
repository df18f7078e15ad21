#include "platform/SystemInfo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace VeltorPlatform {

namespace {

std::string hostNameText() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return std::string();
    return buffer;
}

// A KEY=value setting of a shell-style configuration file, quotes removed.
std::string shellSetting(const char* path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size() + 1, key + "=") != 0)
            continue;
        std::string value = line.substr(start + key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::string();
}

bool machineIs64Bit(const std::string& machine) {
    return machine.find("64") != std::string::npos || machine == "s390x";
}

} // namespace

bool computerName(std::string& name) {
    std::string host = hostNameText();
    if (host.empty())
        return false;
    name = host.substr(0, host.find('.'));
    return true;
}

std::string dnsDomain() {
    const std::string host = hostNameText();
    if (host.empty())
        return std::string();
    std::size_t dot = host.find('.');
    if (dot != std::string::npos)
        return host.substr(dot + 1);
    // The resolver's files source: the first entry that names this host gives its official name.
    std::ifstream in("/etc/hosts");
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string address, official, alias;
        if (!(fields >> address >> official))
            continue;
        bool match = official == host || official.compare(0, host.size() + 1, host + ".") == 0;
        while (!match && fields >> alias)
            match = alias == host;
        if (!match)
            continue;
        dot = official.find('.');
        return dot == std::string::npos ? std::string() : official.substr(dot + 1);
    }
    return std::string();
}

bool workgroup(std::string& name) {
    char buffer[256] = {};
    if (::getdomainname(buffer, sizeof buffer - 1) != 0)
        return false;
    name = buffer;
    if (name == "(none)")
        name.clear();
    return true;
}

OsVersion osVersion() {
    OsVersion result;
    result.family = "linux";
    result.name = "linux";
    struct utsname info {};
    if (::uname(&info) != 0)
        return result;
    result.name = info.sysname;
    std::transform(result.name.begin(), result.name.end(), result.name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    result.family = result.name;
    result.release = info.release;
    // Only the leading digits count: "6.1.0-18-amd64" is major 6, minor 1.
    auto number = [](const std::string& text, std::size_t& pos) {
        std::string digits;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits.size() < 6)
            digits += text[pos++];
        return digits;
    };
    std::size_t pos = 0;
    result.majorText = number(result.release, pos);
    if (pos < result.release.size() && result.release[pos] == '.') {
        ++pos;
        result.minorText = number(result.release, pos);
    }
    if (!result.majorText.empty()) {
        unsigned long major = std::strtoul(result.majorText.c_str(), nullptr, 10);
        unsigned long minor =
            result.minorText.empty() ? 0 : std::strtoul(result.minorText.c_str(), nullptr, 10);
        result.versionNumber = std::to_string(major * 100 + minor);
    }
    return result;
}

std::string processorArchitecture() {
    struct utsname info {};
    if (::uname(&info) != 0)
        return std::string();
    const std::string machine = info.machine;
    if (machine == "x86_64")
        return "amd64";
    if (machine == "aarch64")
        return "arm64";
    return machine;
}

bool osIs64Bit() {
    if (sizeof(void*) == 8)
        return true;
    struct utsname info {};
    return ::uname(&info) == 0 && machineIs64Bit(info.machine);
}

std::string osLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string language = value;
        return language.substr(0, language.find_first_of(".@"));
    }
    return std::string();
}

std::string keyboardLanguage() {
    return shellSetting("/etc/default/keyboard", "XKBLAYOUT");
}

std::string keyboardType() {
    return shellSetting("/etc/default/keyboard", "XKBMODEL");
}

bool userName(std::string& name) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && *found->pw_name != '\0') {
        name = found->pw_name;
        return true;
    }
    for (const char* variable : {"USER", "LOGNAME"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            return true;
        }
    }
    return false;
}

bool sessionNumber(std::uint32_t& number) {
    pid_t session = ::getsid(0);
    if (session < 0)
        return false;
    number = static_cast<std::uint32_t>(session);
    return true;
}

std::string terminalClientName() {
    const char* client = std::getenv("SSH_CLIENT");
    if (client == nullptr)
        return std::string();
    std::string text = client;
    return text.substr(0, text.find(' '));
}

std::vector<std::string> localGroups() {
    // getgrent keeps process-wide state; nothing else of ours walks the group database.
    std::set<std::string> names;
    ::setgrent();
    while (struct group* entry = ::getgrent()) {
        if (entry->gr_name != nullptr)
            names.insert(std::string(entry->gr_name).substr(0, 256));
    }
    ::endgrent();
    return std::vector<std::string>(names.begin(), names.end());
}

std::vector<std::string> localGroupMembers(const std::string& groupName) {
    std::vector<std::string> members;
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct group entry {};
    struct group* found = nullptr;
    int rc;
    while ((rc = ::getgrnam_r(groupName.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 24))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || found == nullptr)
        return members;
    for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member)
        members.emplace_back(*member);
    const gid_t id = found->gr_gid;
    ::setpwent();
    while (struct passwd* user = ::getpwent()) {
        if (user->pw_gid == id && user->pw_name != nullptr &&
            std::find(members.begin(), members.end(), user->pw_name) == members.end())
            members.emplace_back(user->pw_name);
    }
    ::endpwent();
    return members;
}

std::vector<std::string> ipv4Addresses() {
    std::vector<std::string> addresses;
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return addresses;
    for (struct ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* address = reinterpret_cast<const struct sockaddr_in*>(item->ifa_addr);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&address->sin_addr.s_addr);
        std::string text = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
        if (text != "127.0.0.1")
            addresses.push_back(text);
    }
    ::freeifaddrs(list);
    return addresses;
}

bool volumeSerial(const std::string& rootPath, std::uint64_t& serial) {
    struct statvfs info {};
    if (rootPath.empty() || ::statvfs(rootPath.c_str(), &info) != 0)
        return false;
    serial = static_cast<std::uint64_t>(info.f_fsid);
    return true;
}

void setEnvironment(const std::string& name, const std::string& value) {
    if (value.empty())
        ::unsetenv(name.c_str());
    else
        ::setenv(name.c_str(), value.c_str(), 1);
}

} // namespace VeltorPlatform
