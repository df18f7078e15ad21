#include "ConfAgent.h"
#include "CorelibTestSupport.h"
#include "SystemBase.h"

#include <gtest/gtest.h>

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

} // namespace

TEST(ConfAgent, EveryStatusMapsToItsError) {
    ConfAgent agent;
    StringList list;
    const auto nameOf = [](const std::string& thrown) { return thrown.substr(0, thrown.find(':')); };
    // The error a get and a set throw for each status ("-" where not asked); 1 is success, 5 a key type
    // the answering side does not serve, and 9 or 11 mean nothing to a get.
    const struct {
        std::uint32_t status;
        const char *get, *set;
    } cases[] = {{1, "nothing thrown", "nothing thrown"}, {3, "GetLocal_NotFound", "-"},
                 {4, "GetLocal_WrongType", "-"},          {5, "GetLocal_WrongType", "-"},
                 {6, "GetLocal_NoAccess", "-"},           {9, "nothing thrown", "SetLocal_InvalidType"},
                 {10, "-", "SetLocal_NoAccess"},          {11, "nothing thrown", "SetLocal_Failure"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FixedAnswer answer(c.status);
        if (c.get[0] != '-') {
            EXPECT_EQ(c.get, nameOf(thrownText([&] { agent.getLocal("app/k", list, 6); })));
        }
        if (c.set[0] != '-') {
            EXPECT_EQ(c.set, nameOf(thrownText([&] { agent.setLocal("app/k", list, 6); })));
        }
    }
    // No agent answers at all.
    EXPECT_EQ("GetLocal_ImsNotWorking", nameOf(thrownText([&] { agent.getLocal("app/k", list, 6); })));
    EXPECT_EQ("SetLocal_ImsNotWorking", nameOf(thrownText([&] { agent.setLocal("app/k", list, 6); })));
}

TEST(ConfAgent, FactsAndLocalValuesThroughTheSystemAgent) {
    StoreRoot root;
    SystemBase system;
    ConfAgent agent;

    EXPECT_EQ(SystemBase::hostName(), agent.getSystem("hostname"));
    EXPECT_EQ("GetLocal_NotFound: Configuration key \"nosuchfact\" was not found",
              thrownText([&] { agent.getSystem("nosuchfact"); }));

    // Flag 2 trims every item on the way in and out.
    StringList list;
    agent.setLocal("trim", {" \tx \r\n", "y\v"}, 6);
    EXPECT_EQ("x;y;\n", root.fileContent("trim/list"));
    agent.setLocal("trim", {" \tx "}, 4);
    agent.getLocal("trim", list, 4);
    EXPECT_EQ((StringList{" \tx "}), list);
    agent.getLocal("trim", list, 6);
    EXPECT_EQ((StringList{"x"}), list);

    std::string text = "  spaced  ";
    agent.set("typed", KeyType::LocalString, &text, 4);
    EXPECT_EQ("GetLocal_WrongType: Configuration key \"typed\" is not of requested type (local set)",
              thrownText([&] { agent.getLocal("typed", list, 6); }));
    std::string back;
    agent.get("typed", KeyType::LocalString, &back, 6);
    EXPECT_EQ("spaced", back);

    // Flag 16 adds to the stored number instead of replacing it (the addition itself is the store's).
    std::int64_t signedValue = -4, signedBack = 0;
    agent.set("num", KeyType::LocalInt, &signedValue, 6);
    agent.set("num", KeyType::LocalInt, &signedValue, 6 | 16);
    agent.get("num", KeyType::LocalInt, &signedBack, 6);
    EXPECT_EQ(-8, signedBack);

    // The registry-based way (flag 8) the system agent does not offer.
    EXPECT_EQ("GetLocal_NotFound: Configuration key \"num\" was not found",
              thrownText([&] { agent.get("num", KeyType::LocalInt, &signedBack, 8); }));
    EXPECT_EQ("SetLocal_Failure: Configuration key \"num\" of type \"local int\" could not be set",
              thrownText([&] { agent.set("num", KeyType::LocalInt, &signedValue, 8); }));

    // A store that cannot be written reports the failure instead of success.
    std::ofstream(root.path / "file") << "x";
    ScopedVariable unusable("VELTOR_FREG", (root.path / "file").generic_string());
    EXPECT_EQ("SetLocal_Failure: Configuration key \"k\" of type \"local set\" could not be set",
              thrownText([&] { agent.setLocal("k", {"x"}, 6); }));
}
