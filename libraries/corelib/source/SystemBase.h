// The agent that answers questions about the machine, and the process-wide store of system values it
// answers from. The store is filled once, on the first request for any value, under one ThreadLock.
//
// Messages: SystemBase hooks "system"/"query" and "system"/"set" (priority 1, kept after use). The
// payload is a SystemQueryParam. A query of type 20 names a fact, optionally with an argument after the
// first '.': hostname, machinename, platform, os, osversion, oslang, keyboardlang, keyboardtype, arch,
// domain, currentuser, osbits, groups, groupusers.<group>, usergroups.<user>, ip, diskserial.<root>
// (lists one entry per line). Types 21 to 25 are the local values of the LocalStore (flags 2 trim,
// 16 add); a set reports 1 when stored, 9 for an unusable type, 10 when the key's lock or its current
// value could not be had, 11 when the value could not be written; an unknown name gives 3, a key type
// outside 20..25 gives 5 for a query and 11 for a set. The registry-based way of answering local values
// (flag 8 without flag 4) is not supported: a query answers 3 and a set 11.
//
// On POSIX the facts come from the system as platform/SystemInfo.h describes: "os" is "linux",
// "osversion" major * 100 + minor of the kernel release, "platform" "linux-64" or "linux-32",
// "domain" the DNS domain of the host name or /etc/hosts, "groups" the group database, "diskserial"
// the file-system id of the path.
//
// How the application frame uses it (it holds one SystemBase as a member):
//     SystemBase::setApplicationName(applicationName);   // the application-name value (code 2)
//     SystemBase::hostName();                            // gathers the system facts once; drop the answer
// The signal handler may read the two texts of the interception line at any time without allocating:
//     SystemBase::signalApplicationName()   // the application-name value
//     SystemBase::signalInstanceName()      // the application instance, "0" when none is configured
// They are prepared whenever the name or the instance changes (on the setting thread, before the
// signal can need them).
//
// Byte order: SystemBase::hostIsLittleEndian() tells the order of this machine at once, without
// gathering the other facts; the "byte order" value (code 18) holds the same as "little" or "big".
#pragma once
#include "ImsAgent.h"
#include "SystemQueryParam.h"

#include <cstdint>
#include <string>

namespace VeltorCorelib {

class SystemBase : public ImsAgent {
public:
    // Codes of the system value store.
    enum Value : int {
        ApplicationInstance = 1,
        ApplicationName = 2,
        HostName = 3,
        MachineName = 4,
        Platform = 5,
        OsName = 6,
        OsVersion = 7,
        OsLanguage = 8,
        KeyboardLanguage = 9,
        KeyboardType = 10,
        Architecture = 11,
        NetworkDomain = 12,
        UserDomain = 13,
        UserName = 14,
        SessionNumber = 15,
        DisplayHost = 16,
        OsBits = 17,
        ByteOrder = 18,
        OsMajorVersion = 19,
        OsMinorVersion = 20
    };

    // An agent named "system-base" with its two hooks.
    SystemBase();
    ~SystemBase() override;

    // Direct messages and hooked broadcasts: "system"/"query" and "system"/"set" are answered, anything
    // else is not handled (1).
    int receiveMessage(ImsMessage& message) override;
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override;
    virtual int handleMessage(ImsMessage& message);

    // Process-wide functions.
    static std::string value(int code);
    // The query answer for a name (and argument); false for a name not in the table.
    static bool answer(const std::string& key, std::string& text);
    static std::string hostName();
    // Value 1; when empty, the environment variable veltor_application_instance (then kept as value
    // 1); "0" when neither is set.
    static std::string applicationInstance();
    // Stores value 1 and sets veltor_application_instance to it.
    static void setApplicationInstance(const std::string& instance);
    static std::string applicationName();
    static void setApplicationName(const std::string& name);
    // Value 13 + "\" + value 14, or value 14 alone when value 13 is empty or a placeholder.
    static std::string currentUserWithDomain();

    static const char* signalApplicationName();
    static const char* signalInstanceName();

    static bool hostIsLittleEndian();

    // Forgets the gathered facts so that the next request gathers them again (tests change the
    // environment between requests).
    static void resetForTests();

private:
    int handleQuery(ImsMessage& message);
    int handleSet(ImsMessage& message);

    std::uint64_t queryHook = 0;
    std::uint64_t setHook = 0;
};

} // namespace VeltorCorelib
