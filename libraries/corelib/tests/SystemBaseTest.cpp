#include "SystemBase.h"
#include "CorelibTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace VeltorCorelib;

namespace {

std::string withCase(std::string text, int (*change)(int)) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [change](unsigned char c) { return static_cast<char>(change(c)); });
    return text;
}

std::string lower(const std::string& text) {
    return withCase(text, ::tolower);
}

// Neither a host name override nor an instance from the environment, and no facts cached.
struct FreshFacts {
    ScopedVariable hostname{"veltor_hostname", ""};
    ScopedVariable instance{"veltor_application_instance", ""};
    FreshFacts() { SystemBase::resetForTests(); }
    ~FreshFacts() { SystemBase::resetForTests(); }
};

std::string ask(const std::string& key) {
    std::string text;
    EXPECT_TRUE(SystemBase::answer(key, text)) << key;
    return text;
}

} // namespace

// The facts themselves are the platform layer's; what is checked here is what SystemBase makes of them.
TEST(SystemBase, AnswersForHostUserSystemAndPlatform) {
    FreshFacts fresh;
    const std::string host = ask("hostname");
    EXPECT_EQ(lower(SystemBase::value(SystemBase::HostName)), host);
    const std::string domain = ask("domain");
    EXPECT_EQ(lower(domain), domain);
    EXPECT_EQ(host, lower(domain != "[nodomain]" ? ask("machinename") + "." + domain : ask("machinename")));

    const std::string user = ask("currentuser");
    const std::string withDomain = SystemBase::currentUserWithDomain();
    EXPECT_EQ(user, withDomain.substr(withDomain.size() - user.size()));

    const std::string bits = ask("osbits");
#ifdef _WIN32
    EXPECT_EQ("windows-" + bits, ask("platform"));
    // 64-bit Windows names its 64-bit program directory to every process, 32-bit ones included; 32-bit
    // Windows has no such variable. A 32-bit program on 64-bit Windows must still answer 64.
    std::string programs64;
    EXPECT_EQ(VeltorPlatform::getEnvironment("ProgramW6432", programs64) ? "64" : "32", bits);
#else
    EXPECT_EQ("linux-" + bits, ask("platform"));
    // A user's groups whatever the name's case.
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
        {withCase(host, ::toupper) + "-web", "web"},
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
    EXPECT_STREQ("Sorvik", SystemBase::signalApplicationName());
    SystemBase::setApplicationName(std::string(300, 'n'));
    EXPECT_EQ(255u, std::strlen(SystemBase::signalApplicationName()));
    SystemBase::setApplicationName("Sorvik");
}

TEST(SystemBase, MessageHandling) {
    SystemBase system;
    std::string text;
    // Sets are refused and stop the delivery; other messages are left untouched.
    const struct {
        const char *general, *group, *key;
        std::uint32_t type;
        int answer;
        std::uint32_t status;
    } cases[] = {
        {"system", "query", "hostname", KeyType::String, ImsHandled, QueryStatus::BadKeyType},
        {"system", "query", "nosuch.arg", KeyType::SystemString, ImsHandled, QueryStatus::NotFound},
        {"system", "set", "x", KeyType::SystemString, ImsHandledStop, QueryStatus::SetFailure},
        {"system", "other", "x", KeyType::SystemString, ImsNotHandled, QueryStatus::Built},
        {"debug", "query", "x", KeyType::SystemString, ImsNotHandled, QueryStatus::Built},
    };
    for (const auto& c : cases) {
        SystemQueryParam parameter(c.key, c.type, &text, 6);
        ImsMessage message(c.general, c.group, "", &parameter);
        EXPECT_EQ(c.answer, system.receiveMessage(message)) << c.group << " " << c.key;
        EXPECT_EQ(c.status, parameter.status) << c.group << " " << c.key;
    }
}
