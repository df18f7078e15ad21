// Facts about the machine, the operating system and the user, as the system reports them. Each call
// asks the system afresh; nothing here caches or throws. Where a fact cannot be had the call says so by
// its result (false, an empty text or an empty list); the placeholders shown to users are chosen above
// this layer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace VeltorPlatform {

// The computer name as the system writes it. Windows: GetComputerNameA (128-character buffer).
// POSIX: gethostname up to its first '.'. False when the name cannot be had.
bool computerName(std::string& name);

// The machine's DNS domain, empty when it belongs to none. Windows: GetComputerNameExA with the
// DNS-domain form. POSIX: the part of gethostname after its first '.'; otherwise the part after the
// first '.' of the official name of the host's own entry in /etc/hosts (no network look-up).
std::string dnsDomain();

// The workgroup or logon domain of the workstation. Windows: the LAN group of NetWkstaGetInfo level
// 100, converted from UTF-16 to the local code page. POSIX: the NIS domain (getdomainname), empty when
// none is set ("(none)"). False when the buffer cannot be had.
bool workgroup(std::string& name);

// Operating-system name and version texts.
// Windows: name "windows" plus the suffixes for the release (for example windows_7_x64, windows_810,
// windows_unknown when the version cannot be read); versionNumber major * 100 + minor; majorText and
// minorText the version parts (the 6.2-and-later family reports "8" and "0" or "10").
// POSIX: name "linux" (the kernel's name from uname, lower-cased); release the whole release text from
// uname (for example 6.1.0-18-amd64); versionNumber, majorText and minorText from its leading
// "major.minor" numbers.
struct OsVersion {
    std::string family; // "windows" or "linux": the platform without release details
    std::string name;
    std::string release;
    std::string versionNumber;
    std::string majorText;
    std::string minorText;
};
OsVersion osVersion();

// The processor architecture. Windows: GetNativeSystemInfo: 'i' and the processor type for x86 (i586),
// "mips", "alpha", "powerpc", "ia64", "amd64", "ia32_on_win64", "unknown", or "error" for any other
// code; empty when GetNativeSystemInfo is missing. POSIX: uname's machine with x86_64 given as
// "amd64" and aarch64 as "arm64", any other machine name (i686, armv7l, ...) as uname writes it.
std::string processorArchitecture();

// True when the operating system is a 64-bit one. Windows: the process is 64-bit itself, or
// IsWow64Process reports a 32-bit process on a 64-bit system. POSIX: the process is 64-bit, or uname's
// machine names a 64-bit processor.
bool osIs64Bit();

// The language of the operating system and of the first keyboard layout, as readable names.
// Windows: the language identifiers of HKLM "SYSTEM\CurrentControlSet\Control\Nls\Language" value
// "Default" and HKCU "Keyboard Layout\Preload" value "1", named by "Layout Text" of
// HKLM "SYSTEM\ControlSet001\Control\Keyboard Layouts\<id>" and by the DosKeybCodes entry of that id:
// "<id> <layout text> (<dos code>)", or the parts that exist. Empty when the identifier is missing.
// POSIX: the language of LC_ALL, LC_MESSAGES or LANG (without encoding, for example en_US), and the
// XKBLAYOUT of /etc/default/keyboard; empty when not set.
std::string osLanguage();
std::string keyboardLanguage();

// The keyboard type. Windows: GetKeyboardType(0) "(" GetKeyboardType(1) "," GetKeyboardType(2) ")".
// POSIX: the XKBMODEL of /etc/default/keyboard, empty when not set.
std::string keyboardType();

// The name of the user running the process (without domain). Windows: GetUserNameA, the buffer grown
// while the call asks for more. POSIX: the password entry of the effective user id, else $USER, else
// $LOGNAME. False when the name cannot be had.
bool userName(std::string& name);

// The session the process belongs to. Windows: ProcessIdToSessionId (the terminal-services session).
// POSIX: the session id of getsid. False on failure.
bool sessionNumber(std::uint32_t& number);

// The client name of the process's terminal-services session (WTSQuerySessionInformationA); empty when
// there is none. POSIX: the client address of an SSH login ($SSH_CLIENT's first field), else empty.
std::string terminalClientName();

// The local groups, sorted, each name at most 256 bytes. Windows: NetLocalGroupEnum level 0.
// POSIX: the group database. Empty on any failure.
std::vector<std::string> localGroups();

// The members of a local group. Windows: NetLocalGroupGetMembers level 3 ("DOMAIN\name"); an unknown
// group or denied access gives an empty list. POSIX: the group's member list and the users whose
// primary group it is, each name once, in the database's order.
std::vector<std::string> localGroupMembers(const std::string& group);

// The IPv4 addresses of the machine in dotted decimal, in the system's order, without 127.0.0.1 (other
// 127.x addresses stay). Windows: GetIpAddrTable. POSIX: getifaddrs.
std::vector<std::string> ipv4Addresses();

// The serial number of the volume whose root path is given. Windows: GetVolumeInformationA.
// POSIX: the file-system id (statvfs f_fsid) of the file system holding the path. False on failure.
bool volumeSerial(const std::string& rootPath, std::uint64_t& serial);

// The process environment. Windows: the C runtime's environment, kept in step with the process's own
// block so that child processes inherit a change. False from getEnvironment when the name is not set.
// Setting an empty value removes the variable, on POSIX as on Windows.
bool getEnvironment(const std::string& name, std::string& value);
void setEnvironment(const std::string& name, const std::string& value);

} // namespace VeltorPlatform
