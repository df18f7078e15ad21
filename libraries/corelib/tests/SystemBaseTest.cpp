#include "SystemBase.h"

#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace VeltorCorelib;

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Keeps an environment variable as it was around a test.
struct SavedVariable {
    std::string name, value;
    bool wasSet;
    explicit SavedVariable(const char* name) : name(name) {
        wasSet = VeltorPlatform::getEnvironment(name, value);
    }
    ~SavedVariable() { VeltorPlatform::setEnvironment(name, wasSet ? value : std::string()); }
};

struct FreshFacts {
    SavedVariable hostname{"veltor_hostname"};
    SavedVariable instance{"veltor_application_instance"};
    FreshFacts() {
        VeltorPlatform::setEnvironment("veltor_hostname", "");
        VeltorPlatform::setEnvironment("veltor_application_instance", "");
        SystemBase::resetForTests();
    }
    ~FreshFacts() { SystemBase::resetForTests(); }
};

std::string ask(const std::string& key) {
    std::string text;
    EXPECT_TRUE(SystemBase::answer(key, text)) << key;
    return text;
}

} // namespace

TEST(SystemBase, AnswersForHostUserSystemAndPlatform) {
    FreshFacts fresh;
    const std::string host = ask("hostname");
    EXPECT_FALSE(host.empty());
    EXPECT_NE("[unknown]", host);
    EXPECT_EQ(lower(SystemBase::value(SystemBase::HostName)), host);
    EXPECT_EQ(host, SystemBase::hostName());

    const std::string domain = ask("domain");
    EXPECT_FALSE(domain.empty());
    EXPECT_EQ(lower(domain), domain);
    if (domain != "[nodomain]") {
        EXPECT_EQ(host, lower(ask("machinename") + "." + domain));
    } else {
        EXPECT_EQ(host, lower(ask("machinename")));
        EXPECT_EQ("", SystemBase::value(SystemBase::UserDomain));
    }

    const std::string user = ask("currentuser");
    EXPECT_FALSE(user.empty());
    EXPECT_NE("[unknown]", user);
    const std::string withDomain = SystemBase::currentUserWithDomain();
    EXPECT_EQ(user, withDomain.substr(withDomain.size() - user.size()));

    const std::string os = ask("os");
    const std::string bits = ask("osbits");
    EXPECT_TRUE(bits == "32" || bits == "64") << bits;
#ifdef _WIN32
    EXPECT_EQ(0u, os.rfind("windows", 0)) << os;
    EXPECT_EQ("windows-" + bits, ask("platform"));
    // 64-bit Windows names its 64-bit program directory to every process, 32-bit ones included; 32-bit
    // Windows has no such variable. A 32-bit program on 64-bit Windows must still answer 64.
    std::string programs64;
    EXPECT_EQ(VeltorPlatform::getEnvironment("ProgramW6432", programs64) ? "64" : "32", bits);
#else
    EXPECT_EQ("linux", os);
    EXPECT_EQ("linux-" + bits, ask("platform"));
    const std::string version = ask("osversion");
    EXPECT_FALSE(version.empty());
    EXPECT_TRUE(std::all_of(version.begin(), version.end(), [](unsigned char c) { return std::isdigit(c); }));
#endif
    if (sizeof(void*) == 8) {
        EXPECT_EQ("64", bits);
    }
    EXPECT_FALSE(ask("arch").empty());
    EXPECT_EQ(SystemBase::hostIsLittleEndian() ? "little" : "big", SystemBase::value(SystemBase::ByteOrder));

    for (const char* name : {"oslang", "keyboardlang", "keyboardtype", "groups", "ip"})
        ask(name);
    const std::string addresses = ask("ip");
    EXPECT_EQ(std::string::npos, ("\n" + addresses + "\n").find("\n127.0.0.1\n"));
#ifdef _WIN32
    EXPECT_NE("[unknown]", ask("diskserial.C:\\"));
#else
    EXPECT_NE("[unknown]", ask("diskserial./"));
    const std::string groups = ask("groups");
    EXPECT_NE(std::string::npos, ("\n" + groups + "\n").find("\nroot\n"));
    EXPECT_NE(std::string::npos, ("\n" + ask("usergroups.root") + "\n").find("\nroot\n"));
    EXPECT_NE(std::string::npos, ("\n" + ask("usergroups.ROOT") + "\n").find("\nroot\n"));
#endif
    EXPECT_EQ("[unknown]", ask("diskserial.Q:\\no\\such\\volume"));
    std::string untouched = "kept";
    EXPECT_FALSE(SystemBase::answer("nosuchname", untouched));
    EXPECT_EQ("kept", untouched);
}

TEST(SystemBase, HostNameOverrideGivesTheInstance) {
    FreshFacts fresh;
    const std::string host = SystemBase::value(SystemBase::HostName);
    EXPECT_EQ("0", SystemBase::applicationInstance());
    std::string variable;

    struct Case {
        std::string override, instance;
    };
    const Case cases[] = {
        {host + "#7", "7"},
        {host + "-web", "web"},
        {host + "_b", "b"},
        {host + "x#1", "x#1"},
        {"elsewhere#3", "3"},
        {"elsewhere", "0"},
        {host, "0"},
        // Host names know no case.
        {upper(host) + "-web", "web"},
        {lower(host) + "_b", "b"},
    };
    for (const Case& c : cases) {
        SystemBase::resetForTests();
        VeltorPlatform::setEnvironment("veltor_application_instance", "");
        VeltorPlatform::setEnvironment("veltor_hostname", c.override);
        EXPECT_EQ(c.instance, SystemBase::applicationInstance()) << c.override;
        EXPECT_EQ(lower(c.override), ask("hostname"));
        EXPECT_EQ(c.instance, SystemBase::signalInstanceName()) << c.override;
        if (c.instance != "0") {
            ASSERT_TRUE(VeltorPlatform::getEnvironment("veltor_application_instance", variable));
            EXPECT_EQ(c.instance, variable);
        }
    }

    // Without an override, the environment's instance is taken and kept.
    SystemBase::resetForTests();
    VeltorPlatform::setEnvironment("veltor_hostname", "");
    VeltorPlatform::setEnvironment("veltor_application_instance", "5");
    EXPECT_EQ("5", SystemBase::applicationInstance());
    VeltorPlatform::setEnvironment("veltor_application_instance", "");
    EXPECT_EQ("5", SystemBase::applicationInstance());

    SystemBase::setApplicationInstance("9");
    EXPECT_EQ("9", SystemBase::applicationInstance());
    EXPECT_STREQ("9", SystemBase::signalInstanceName());
    ASSERT_TRUE(VeltorPlatform::getEnvironment("veltor_application_instance", variable));
    EXPECT_EQ("9", variable);
}

TEST(SystemBase, ApplicationNameForTheInterceptionLine) {
    SystemBase::setApplicationName("Sorvik");
    EXPECT_EQ("Sorvik", SystemBase::applicationName());
    EXPECT_EQ("Sorvik", SystemBase::value(SystemBase::ApplicationName));
    EXPECT_STREQ("Sorvik", SystemBase::signalApplicationName());
    SystemBase::setApplicationName(std::string(300, 'n'));
    EXPECT_EQ(255u, std::strlen(SystemBase::signalApplicationName()));
    SystemBase::setApplicationName("Sorvik");
}

TEST(SystemBase, MessageHandling) {
    SystemBase system;
    EXPECT_EQ("system-base", system.getName());
    std::string text;
    SystemQueryParam wrongType("hostname", KeyType::String, &text, 6);
    ImsMessage query("system", "query", "", &wrongType);
    EXPECT_EQ(ImsHandled, system.receiveMessage(query));
    EXPECT_EQ(QueryStatus::BadKeyType, wrongType.status);

    SystemQueryParam unknown("nosuch.arg", KeyType::SystemString, &text, 6);
    ImsMessage unknownQuery("system", "query", "", &unknown);
    EXPECT_EQ(ImsHandled, system.receiveMessage(unknownQuery));
    EXPECT_EQ(QueryStatus::NotFound, unknown.status);

    SystemQueryParam host("hostname.ignored", KeyType::SystemString, &text, 6);
    ImsMessage hostQuery("system", "query", "", &host);
    EXPECT_TRUE(system.sendMessage(hostQuery)); // a broadcast reaches the agent through its hook
    EXPECT_EQ(QueryStatus::Success, host.status);
    EXPECT_EQ(SystemBase::hostName(), text);

    SystemQueryParam badSet("x", KeyType::SystemString, &text, 6);
    ImsMessage set("system", "set", "", &badSet);
    EXPECT_EQ(ImsHandledStop, system.receiveMessage(set));
    EXPECT_EQ(QueryStatus::SetFailure, badSet.status);

    ImsMessage other("system", "other", "", &badSet);
    EXPECT_EQ(ImsNotHandled, system.receiveMessage(other));
    ImsMessage notSystem("debug", "query", "", &badSet);
    EXPECT_EQ(ImsNotHandled, system.receiveMessage(notSystem));
    EXPECT_EQ(ImsNotHandled, system.receiveHookedMessage(9999, hostQuery));
}
