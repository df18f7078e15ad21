#include "ConfAgent.h"
#include "StoreTestSupport.h"
#include "SystemBase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

using namespace VeltorCorelib;

namespace {

// Answers every "system" query and set with a fixed status, as a misbehaving or refusing store would.
class FixedAnswer : public ImsAgent {
public:
    explicit FixedAnswer(std::uint32_t status) : ImsAgent("fixed-answer"), status(status) {
        queryHook = setMessageHook(false, "system", "query", "", 1);
        setHook = setMessageHook(false, "system", "set", "", 1);
    }
    ~FixedAnswer() override {
        removeMessageHook(queryHook);
        removeMessageHook(setHook);
    }
    int receiveHookedMessage(std::uint64_t, ImsMessage& message) override {
        static_cast<SystemQueryParam*>(message.getParameter())->status = status;
        return ImsHandled;
    }

private:
    std::uint32_t status;
    std::uint64_t queryHook = 0;
    std::uint64_t setHook = 0;
};

template <typename Error, typename Call> std::string errorText(Call call) {
    try {
        call();
    } catch (const Error& e) {
        return e.getName() + ": " + e.getText(false);
    } catch (const Exception& e) {
        return "wrong type " + e.getName();
    }
    return "nothing thrown";
}

// "Name: text" of whatever the call threw (the name is the error type's own).
template <typename Call> std::string thrownText(Call call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.getName() + ": " + e.getText(false);
    }
    return "nothing thrown";
}

} // namespace

TEST(ConfAgent, AQueryThatNoAgentHooksReportsTheServiceNotWorking) {
    ConfAgent agent;
    EXPECT_EQ("conf-agent", agent.getName());
    StringList list;
    EXPECT_EQ(
        "GetLocal_ImsNotWorking: Failed to query local configuration key \"app/k\" because IMS isn't working",
        errorText<ConfAgent::GetLocal_ImsNotWorking>([&] { agent.getLocal("app/k", list, 6); }));
    EXPECT_EQ(
        "SetLocal_ImsNotWorking: Failed to set local configuration key \"app/k\" because IMS isn't working",
        errorText<ConfAgent::SetLocal_ImsNotWorking>([&] { agent.setLocal("app/k", list, 6); }));
    try {
        agent.getLocal("app/k", list, 6);
    } catch (const Exception& e) {
        EXPECT_EQ(
            "@conf-agent.get-local.ims-not-working{Failed to query local configuration key \"%\" because IMS "
            "isn't working};",
            e.getMessage());
        EXPECT_EQ(1u, e.getSources().size());
    }
}

TEST(ConfAgent, EveryStatusMapsToItsError) {
    ConfAgent agent;
    StringList list;
    auto get = [&] { agent.getLocal("app/k", list, 6); };
    auto set = [&] { agent.setLocal("app/k", list, 6); };
    const std::string wrongType = "GetLocal_WrongType: Configuration key \"app/k\" is not of requested type (local set)";
    // {status, text thrown by a get, text thrown by a set}; 5 is a key type the answering side does not
    // serve, and 9 or 11 mean nothing to a get.
    const std::tuple<std::uint32_t, std::string, std::string> cases[] = {
        {3, "GetLocal_NotFound: Configuration key \"app/k\" was not found", ""},
        {4, wrongType, ""},
        {5, wrongType, ""},
        {6,
         "GetLocal_NoAccess: Got request for configuration key \"app/k\" of type local set, but failed to get "
         "access to it",
         ""},
        {9, "nothing thrown",
         "SetLocal_InvalidType: Cannot set configuration key \"app/k\" of type \"local set\" - invalid type"},
        {10, "",
         "SetLocal_NoAccess: Cannot set configuration key \"app/k\" of type \"local set\" because access to "
         "it was denied"},
        {11, "nothing thrown",
         "SetLocal_Failure: Configuration key \"app/k\" of type \"local set\" could not be set"},
    };
    for (const auto& c : cases) {
        FixedAnswer answer(std::get<0>(c));
        if (!std::get<1>(c).empty()) {
            EXPECT_EQ(std::get<1>(c), thrownText(get)) << std::get<0>(c);
        }
        if (!std::get<2>(c).empty()) {
            EXPECT_EQ(std::get<2>(c), thrownText(set)) << std::get<0>(c);
        }
    }
    {
        FixedAnswer answer(1);
        EXPECT_NO_THROW(get());
        EXPECT_NO_THROW(set());
        std::int64_t number = 0;
        FixedAnswer other(6);
        // The first hook's answer is overwritten by the second: the last status counts.
        EXPECT_EQ(
            "GetLocal_NoAccess: Got request for configuration key \"n\" of type local int, but failed to get "
            "access to it",
            errorText<ConfAgent::GetLocal_NoAccess>([&] { agent.get("n", KeyType::LocalInt, &number, 6); }));
    }
}

TEST(ConfAgent, LocalValuesThroughTheSystemAgent) {
    StoreRoot root;
    SystemBase system;
    ConfAgent agent;

    agent.setLocal("veltor/instances/Sorvik", {"a;b", "c"}, 6);
    EXPECT_EQ("a\\:b;c;\n", root.fileContent("veltor/instances/Sorvik/list"));
    StringList list;
    agent.getLocal("veltor/instances/Sorvik", list, 6);
    EXPECT_EQ((StringList{"a;b", "c"}), list);

    // Flag 2 trims every item on the way in and out.
    agent.setLocal("trim", {" \tx \r\n", "y\v"}, 6);
    EXPECT_EQ("x;y;\n", root.fileContent("trim/list"));
    agent.setLocal("trim", {" \tx "}, 4);
    agent.getLocal("trim", list, 4);
    EXPECT_EQ((StringList{" \tx "}), list);
    agent.getLocal("trim", list, 6);
    EXPECT_EQ((StringList{"x"}), list);

    EXPECT_EQ("GetLocal_NotFound: Configuration key \"nothing\" was not found",
              errorText<ConfAgent::GetLocal_NotFound>([&] { agent.getLocal("nothing", list, 6); }));
    std::string text = "  spaced  ";
    agent.set("typed", KeyType::LocalString, &text, 4);
    EXPECT_EQ("GetLocal_WrongType: Configuration key \"typed\" is not of requested type (local set)",
              errorText<ConfAgent::GetLocal_WrongType>([&] { agent.getLocal("typed", list, 6); }));
    std::string back;
    agent.get("typed", KeyType::LocalString, &back, 4);
    EXPECT_EQ("  spaced  ", back);
    agent.get("typed", KeyType::LocalString, &back, 6);
    EXPECT_EQ("spaced", back);

    std::int64_t signedValue = -4;
    agent.set("num", KeyType::LocalInt, &signedValue, 6);
    agent.set("num", KeyType::LocalInt, &signedValue, 6 | 16);
    std::int64_t signedBack = 0;
    agent.get("num", KeyType::LocalInt, &signedBack, 6);
    EXPECT_EQ(-8, signedBack);
    std::uint64_t unsignedValue = 5, unsignedBack = 0;
    agent.set("num", KeyType::LocalUInt, &unsignedValue, 6 | 16);
    agent.get("num", KeyType::LocalUInt, &unsignedBack, 6);
    EXPECT_EQ(5u, unsignedBack);
    double real = 0.25, realBack = 0;
    agent.set("num", KeyType::LocalFloat, &real, 6);
    agent.set("num", KeyType::LocalFloat, &real, 6 | 16);
    agent.get("num", KeyType::LocalFloat, &realBack, 6);
    EXPECT_EQ(0.5, realBack);

    // Types the agent does not answer, and the registry-based way it does not offer.
    bool flag = false;
    EXPECT_EQ("GetLocal_WrongType: Configuration key \"num\" is not of requested type (bool)",
              errorText<ConfAgent::GetLocal_WrongType>([&] { agent.get("num", KeyType::Bool, &flag, 6); }));
    EXPECT_EQ(
        "SetLocal_Failure: Configuration key \"host\" of type \"system string\" could not be set",
        errorText<ConfAgent::SetLocal_Failure>([&] { agent.set("host", KeyType::SystemString, &text, 6); }));
    EXPECT_EQ("GetLocal_NotFound: Configuration key \"num\" was not found",
              errorText<ConfAgent::GetLocal_NotFound>(
                  [&] { agent.get("num", KeyType::LocalInt, &signedBack, 8); }));
    EXPECT_EQ("SetLocal_Failure: Configuration key \"num\" of type \"local int\" could not be set",
              errorText<ConfAgent::SetLocal_Failure>(
                  [&] { agent.set("num", KeyType::LocalInt, &signedValue, 8); }));

    // A store that cannot be written reports the failure instead of success.
    std::ofstream(root.path / "file") << "x";
    VeltorPlatform::setEnvironment("VELTOR_FREG", (root.path / "file").generic_string());
    EXPECT_EQ("SetLocal_Failure: Configuration key \"k\" of type \"local set\" could not be set",
              errorText<ConfAgent::SetLocal_Failure>([&] { agent.setLocal("k", {"x"}, 6); }));
    EXPECT_EQ("SetLocal_Failure: Configuration key \"\" of type \"local set\" could not be set",
              errorText<ConfAgent::SetLocal_Failure>([&] { agent.setLocal("", {"x"}, 6); }));
}

TEST(ConfAgent, SystemFactsByName) {
    SystemBase system;
    ConfAgent agent;
    EXPECT_EQ(SystemBase::hostName(), agent.getSystem("hostname"));
    EXPECT_FALSE(agent.getSystem("os").empty());
    EXPECT_EQ("GetLocal_NotFound: Configuration key \"nosuchfact\" was not found",
              errorText<ConfAgent::GetLocal_NotFound>([&] { agent.getSystem("nosuchfact"); }));
}

TEST(ConfAgent, KeyTypeNames) {
    const std::pair<std::uint32_t, const char*> names[] = {
        {0, "none"},       {1, "bool"},          {2, "int"},          {3, "uint"},         {4, "float"},
        {5, "string"},     {6, "undefined"},     {7, "datetime"},     {8, "time-of-day"},  {9, "timezone"},
        {10, "timespan"},  {11, "dir"},          {12, "file"},        {13, "list"},        {14, "sub-entries"},
        {15, "undefined"}, {16, "attributes"},   {19, "undefined"},   {20, "system string"},
        {21, "local int"}, {22, "local uint"},   {23, "local float"}, {24, "local string"},
        {25, "local set"}, {26, "undefined"},    {0xFFFFFFFFu, "undefined"}};
    for (const auto& entry : names)
        EXPECT_STREQ(entry.second, keyTypeName(entry.first)) << entry.first;
}
