#include "SystemBase.h"

#include "LocalStore.h"
#include "ThreadLock.h"

#include "platform/SystemInfo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace VeltorCorelib {

namespace {

struct ValueStore {
    ThreadLock lock;
    std::map<int, std::string> values;
    bool filled = false;
};

ValueStore& store() {
    static ValueStore instance;
    return instance;
}

// Texts of the interception line, kept ready for a signal handler (no allocation there).
char signalName[256] = "";
char signalInstance[256] = "0";

void copyForSignal(char (&target)[256], const std::string& text) {
    const std::size_t length = std::min(text.size(), sizeof target - 1);
    // Cut the old text short first, so that a handler running meanwhile reads a terminated text.
    target[0] = '\0';
    if (length == 0)
        return;
    std::memcpy(target + 1, text.data() + 1, length - 1);
    target[length] = '\0';
    target[0] = text[0];
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool sameNoCase(const std::string& a, const std::string& b) {
    return lowerCase(a) == lowerCase(b);
}

std::string joinLines(const std::vector<std::string>& entries) {
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += entries[i];
    }
    return text;
}

std::string storedValue(int code) {
    auto& values = store().values;
    auto found = values.find(code);
    return found == values.end() ? std::string() : found->second;
}

// Value 1 as the outside sees it; the caller holds the store's lock.
std::string currentInstance() {
    std::string instance = storedValue(SystemBase::ApplicationInstance);
    if (!instance.empty())
        return instance;
    if (VeltorPlatform::getEnvironment("veltor_application_instance", instance) && !instance.empty()) {
        store().values[SystemBase::ApplicationInstance] = instance;
        return instance;
    }
    return "0";
}

void storeInstance(const std::string& instance) {
    store().values[SystemBase::ApplicationInstance] = instance;
    VeltorPlatform::setEnvironment("veltor_application_instance", instance);
    copyForSignal(signalInstance, currentInstance());
}

void fill() {
    auto& values = store().values;

    std::string host;
    values[SystemBase::HostName] = VeltorPlatform::computerName(host) && !host.empty() ? host : "[unknown]";

    std::string workgroup;
    values[SystemBase::UserDomain] = VeltorPlatform::workgroup(workgroup) ? workgroup : "[undef]";
    const std::string domain = VeltorPlatform::dnsDomain();
    if (domain.empty()) {
        values[SystemBase::NetworkDomain] = "[nodomain]";
        values[SystemBase::UserDomain].clear();
    } else {
        values[SystemBase::NetworkDomain] = domain;
        if (values[SystemBase::HostName] != "[unknown]")
            values[SystemBase::HostName] += "." + domain;
    }

    std::string overridden;
    if (VeltorPlatform::getEnvironment("veltor_hostname", overridden) && !overridden.empty()) {
        const std::string previous = values[SystemBase::HostName];
        values[SystemBase::HostName] = overridden;
        // Host names know no case: the one asked of the system and the one written into the
        // variable may differ in it.
        if (overridden.size() >= previous.size() &&
            sameNoCase(overridden.substr(0, previous.size()), previous)) {
            std::string rest = overridden.substr(previous.size());
            if (!rest.empty() && std::strchr("-_#", rest[0]) != nullptr)
                rest.erase(0, 1);
            storeInstance(rest);
        } else {
            const std::size_t hash = overridden.find('#');
            if (hash != std::string::npos)
                storeInstance(overridden.substr(hash + 1));
        }
    }

    const std::string& fullHost = values[SystemBase::HostName];
    const std::string suffix = "." + values[SystemBase::NetworkDomain];
    if (fullHost.size() > suffix.size() &&
        fullHost.compare(fullHost.size() - suffix.size(), suffix.size(), suffix) == 0)
        values[SystemBase::MachineName] = fullHost.substr(0, fullHost.size() - suffix.size());
    else
        values[SystemBase::MachineName] = fullHost;

    values[SystemBase::Architecture] = VeltorPlatform::processorArchitecture();

    const VeltorPlatform::OsVersion os = VeltorPlatform::osVersion();
    values[SystemBase::OsName] = os.name;
    values[SystemBase::OsVersion] = os.versionNumber;
    values[SystemBase::OsMajorVersion] = os.majorText;
    values[SystemBase::OsMinorVersion] = os.minorText;

    values[SystemBase::OsBits] = VeltorPlatform::osIs64Bit() ? "64" : "32";
    values[SystemBase::Platform] = os.family + "-" + values[SystemBase::OsBits];

    values[SystemBase::OsLanguage] = VeltorPlatform::osLanguage();
    values[SystemBase::KeyboardLanguage] = VeltorPlatform::keyboardLanguage();
    values[SystemBase::KeyboardType] = VeltorPlatform::keyboardType();

    std::string user;
    values[SystemBase::UserName] = VeltorPlatform::userName(user) && !user.empty() ? user : "[unknown]";

    std::string display;
    if (!VeltorPlatform::getEnvironment("DISPLAY", display)) {
        display = VeltorPlatform::terminalClientName();
        if (display.empty())
            display = values[SystemBase::HostName];
    }
    values[SystemBase::DisplayHost] = display;

    std::uint32_t session = 0;
    values[SystemBase::SessionNumber] = VeltorPlatform::sessionNumber(session) ? std::to_string(session) : "";

    values[SystemBase::ByteOrder] = SystemBase::hostIsLittleEndian() ? "little" : "big";
    store().filled = true;
    copyForSignal(signalInstance, currentInstance());
}

void ensureFilled() {
    if (!store().filled)
        fill();
}

std::string trimmed(const std::string& text) {
    static const char* const blanks = " \r\n\t\v\b\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::uint32_t getStatus(std::uint32_t storeStatus) {
    switch (storeStatus) {
    case LocalStore::Done:
        return QueryStatus::Success;
    case LocalStore::NoValue:
        return QueryStatus::WrongType;
    case LocalStore::LockFailed:
    case LocalStore::ReadFailed:
        return QueryStatus::NoAccess;
    default: // bad type, bad key, no key
        return QueryStatus::NotFound;
    }
}

// A failed write reaches the caller as one of the statuses ConfAgent reports for a set.
std::uint32_t setStatus(std::uint32_t storeStatus) {
    switch (storeStatus) {
    case LocalStore::Done:
        return QueryStatus::Success;
    case LocalStore::BadType:
        return QueryStatus::InvalidType;
    case LocalStore::LockFailed:
    case LocalStore::ReadFailed:
        return QueryStatus::SetNoAccess;
    default: // bad key, write failed
        return QueryStatus::SetFailure;
    }
}

std::uint32_t readLocal(const SystemQueryParam& query) {
    const bool trim = (query.flags & QueryFlag::Trim) != 0;
    std::uint32_t status = LocalStore::BadType;
    switch (query.type) {
    case KeyType::LocalInt:
        status = LocalStore::readInt64(query.key, true, *static_cast<std::int64_t*>(query.value));
        break;
    case KeyType::LocalUInt:
        status = LocalStore::readUInt64(query.key, true, *static_cast<std::uint64_t*>(query.value));
        break;
    case KeyType::LocalFloat:
        status = LocalStore::readDouble(query.key, true, *static_cast<double*>(query.value));
        break;
    case KeyType::LocalString: {
        auto& text = *static_cast<std::string*>(query.value);
        status = LocalStore::readString(query.key, true, text);
        if (status == LocalStore::Done && trim)
            text = trimmed(text);
        break;
    }
    case KeyType::LocalSet: {
        auto& items = *static_cast<StringList*>(query.value);
        status = LocalStore::readList(query.key, true, items);
        if (status == LocalStore::Done && trim)
            for (std::string& item : items)
                item = trimmed(item);
        break;
    }
    }
    return status;
}

std::uint32_t writeLocal(const SystemQueryParam& query) {
    const bool trim = (query.flags & QueryFlag::Trim) != 0;
    const bool add = (query.flags & QueryFlag::Add) != 0;
    switch (query.type) {
    case KeyType::LocalInt: {
        const auto number = *static_cast<const std::int64_t*>(query.value);
        return add ? LocalStore::addInt64(query.key, number)
                   : LocalStore::writeInt64(query.key, number, true);
    }
    case KeyType::LocalUInt: {
        const auto number = *static_cast<const std::uint64_t*>(query.value);
        return add ? LocalStore::addUInt64(query.key, number)
                   : LocalStore::writeUInt64(query.key, number, true);
    }
    case KeyType::LocalFloat: {
        const auto number = *static_cast<const double*>(query.value);
        return add ? LocalStore::addDouble(query.key, number)
                   : LocalStore::writeDouble(query.key, number, true);
    }
    case KeyType::LocalString: {
        const auto& text = *static_cast<const std::string*>(query.value);
        return LocalStore::writeString(query.key, trim ? trimmed(text) : text, true);
    }
    case KeyType::LocalSet: {
        StringList items = *static_cast<const StringList*>(query.value);
        if (trim)
            for (std::string& item : items)
                item = trimmed(item);
        return LocalStore::writeList(query.key, items, true);
    }
    }
    return LocalStore::BadType;
}

bool usesRegistry(std::uint32_t flags) {
    return (flags & QueryFlag::Registry) != 0 && (flags & QueryFlag::LocalStore) == 0;
}

} // namespace

SystemBase::SystemBase() : ImsAgent("system-base") {
    queryHook = setMessageHook(false, "system", "query", "", 1);
    setHook = setMessageHook(false, "system", "set", "", 1);
}

SystemBase::~SystemBase() {
    removeMessageHook(setHook);
    removeMessageHook(queryHook);
}

int SystemBase::receiveMessage(ImsMessage& message) {
    return handleMessage(message);
}

int SystemBase::receiveHookedMessage(std::uint64_t id, ImsMessage& message) {
    if (id != queryHook && id != setHook)
        return ImsNotHandled;
    return handleMessage(message);
}

int SystemBase::handleMessage(ImsMessage& message) {
    if (message.getGeneralType() != "system")
        return ImsNotHandled;
    if (message.getGroupType() == "query")
        return handleQuery(message);
    if (message.getGroupType() == "set")
        return handleSet(message);
    return ImsNotHandled;
}

int SystemBase::handleQuery(ImsMessage& message) {
    auto* query = dynamic_cast<SystemQueryParam*>(message.getParameter());
    if (query == nullptr || query->value == nullptr)
        return ImsNotHandled;
    if (query->type < KeyType::SystemString || query->type > KeyType::LocalSet) {
        query->status = QueryStatus::BadKeyType;
        return ImsHandled;
    }
    if (query->type == KeyType::SystemString) {
        std::string text;
        if (answer(query->key, text)) {
            *static_cast<std::string*>(query->value) = text;
            query->status = QueryStatus::Success;
        } else {
            query->status = QueryStatus::NotFound;
        }
        return ImsHandled;
    }
    query->status = usesRegistry(query->flags) ? QueryStatus::NotFound : getStatus(readLocal(*query));
    return ImsHandled;
}

int SystemBase::handleSet(ImsMessage& message) {
    auto* query = dynamic_cast<SystemQueryParam*>(message.getParameter());
    if (query == nullptr || query->value == nullptr)
        return ImsNotHandled;
    if (query->type < KeyType::LocalInt || query->type > KeyType::LocalSet) {
        query->status = QueryStatus::SetFailure;
        return ImsHandledStop;
    }
    query->status = usesRegistry(query->flags) ? QueryStatus::SetFailure : setStatus(writeLocal(*query));
    return ImsHandled;
}

std::string SystemBase::value(int code) {
    ThreadLockGuard guard(store().lock);
    ensureFilled();
    if (code == ApplicationInstance)
        return currentInstance();
    return storedValue(code);
}

bool SystemBase::answer(const std::string& key, std::string& text) {
    const std::size_t dot = key.find('.');
    const std::string name = key.substr(0, dot);
    const std::string argument = dot == std::string::npos ? std::string() : key.substr(dot + 1);
    if (name == "hostname")
        text = lowerCase(value(HostName));
    else if (name == "machinename")
        text = value(MachineName);
    else if (name == "platform")
        text = value(Platform);
    else if (name == "os")
        text = value(OsName);
    else if (name == "osversion")
        text = value(OsVersion);
    else if (name == "oslang")
        text = value(OsLanguage);
    else if (name == "keyboardlang")
        text = value(KeyboardLanguage);
    else if (name == "keyboardtype")
        text = value(KeyboardType);
    else if (name == "arch")
        text = value(Architecture);
    else if (name == "domain")
        text = lowerCase(value(NetworkDomain));
    else if (name == "currentuser")
        text = value(UserName);
    else if (name == "osbits")
        text = value(OsBits);
    else if (name == "groups")
        text = joinLines(VeltorPlatform::localGroups());
    else if (name == "groupusers")
        text = joinLines(VeltorPlatform::localGroupMembers(argument));
    else if (name == "usergroups") {
        // A member counts when its whole name or its name without the domain matches, in any case.
        std::vector<std::string> groups;
        for (const std::string& group : VeltorPlatform::localGroups()) {
            for (const std::string& member : VeltorPlatform::localGroupMembers(group)) {
                const std::size_t slash = member.find_last_of('\\');
                const std::string plain = slash == std::string::npos ? member : member.substr(slash + 1);
                if (sameNoCase(member, argument) || sameNoCase(plain, argument)) {
                    groups.push_back(group);
                    break;
                }
            }
        }
        text = joinLines(groups);
    } else if (name == "ip")
        text = joinLines(VeltorPlatform::ipv4Addresses());
    else if (name == "diskserial") {
        std::uint64_t serial = 0;
        text = VeltorPlatform::volumeSerial(argument, serial) ? std::to_string(serial) : "[unknown]";
    } else
        return false;
    return true;
}

std::string SystemBase::hostName() {
    std::string text;
    answer("hostname", text);
    return text;
}

std::string SystemBase::applicationInstance() {
    return value(ApplicationInstance);
}

void SystemBase::setApplicationInstance(const std::string& instance) {
    ThreadLockGuard guard(store().lock);
    storeInstance(instance);
}

std::string SystemBase::applicationName() {
    ThreadLockGuard guard(store().lock);
    return storedValue(ApplicationName);
}

void SystemBase::setApplicationName(const std::string& name) {
    ThreadLockGuard guard(store().lock);
    store().values[ApplicationName] = name;
    copyForSignal(signalName, name);
}

std::string SystemBase::currentUserWithDomain() {
    const std::string domain = value(UserDomain);
    const std::string user = value(UserName);
    if (domain.empty() || domain == "[unknown]" || domain == "[undef]")
        return user;
    return domain + "\\" + user;
}

const char* SystemBase::signalApplicationName() {
    return signalName;
}

const char* SystemBase::signalInstanceName() {
    return signalInstance;
}

bool SystemBase::hostIsLittleEndian() {
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

void SystemBase::resetForTests() {
    ThreadLockGuard guard(store().lock);
    const std::string name = storedValue(ApplicationName);
    store().values.clear();
    store().filled = false;
    if (!name.empty())
        store().values[ApplicationName] = name;
    copyForSignal(signalInstance, "0");
}

} // namespace VeltorCorelib
