#include "Ims.h"
#include "CorelibTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace VeltorCorelib;

namespace {

// An agent that records every delivery as "<name>:<id>" in a shared journal and answers a fixed code.
class Probe : public ImsAgent {
public:
    Probe(const std::string& name, std::vector<std::string>& journal, int answer = ImsHandled)
        : ImsAgent(name), journal(journal), answer(answer) {}
    ~Probe() override {
        for (std::uint64_t id : hooks)
            removeMessageHook(id);
    }
    std::uint64_t hook(const std::string& general, const std::string& group, const std::string& type,
                       int priority = 1, bool once = false) {
        std::uint64_t id = setMessageHook(once, general, group, type, priority);
        hooks.insert(id);
        return id;
    }
    int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override {
        journal.push_back(getName() + ":" + std::to_string(id));
        lastSender = message.getSender();
        if (during)
            during();
        return answer;
    }
    int receiveMessage(ImsMessage& message) override {
        journal.push_back(getName() + " direct " + message.getMessageType());
        lastSender = message.getSender();
        return answer;
    }

    std::vector<std::string>& journal;
    int answer;
    std::set<std::uint64_t> hooks;
    std::function<void()> during;
    ImsAgent* lastSender = nullptr;
};

bool broadcast(ImsAgent& from, const std::string& general, const std::string& group,
               const std::string& type) {
    ImsMessage message(general, group, type);
    return from.sendMessage(message);
}

std::string tag(const std::string& name, std::uint64_t id) {
    return name + ":" + std::to_string(id);
}

} // namespace

TEST(Ims, GlobMatching) {
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"**", "", true},
        {"?", "", false},
        {"s?s*m", "system", true},
        {"System", "system", false},
        {"sys", "system", false},
        {"a**b*c", "aXbYbc", true},
        {"*a*a*a*a*a*a*b", std::string(200, 'a'), false}};
    for (const auto& c : cases)
        EXPECT_EQ(Ims::matchGlob(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c);
}

TEST(Ims, DeliveryFollowsPriorityThenPatternsThenIds) {
    std::vector<std::string> journal;
    Probe a("a", journal, ImsNotHandled), b("b", journal, ImsNotHandled), c("c", journal, ImsNotHandled);
    std::uint64_t a2 = a.hook("t?st", "g", "", 2);
    std::uint64_t a1 = a.hook("test", "g", "m", 1);
    std::uint64_t b1 = b.hook("t*", "g", "", 1);
    std::uint64_t c7 = c.hook("test", "", "", 7); // any priority above 1 is the last table
    std::uint64_t c0 = c.hook("*", "g", "m", 0);
    std::uint64_t b1same = b.hook("test", "g", "m", 1);
    std::uint64_t b2 = b.hook("", "", "", 2); // empty patterns match everything

    EXPECT_FALSE(broadcast(a, "test", "g", "m")); // nobody handled it
    // Table 0, then table 1 in pattern order ("t*" < "test"; one triple's ids ascending), then table 2
    // ("" < "t?st" < "test").
    EXPECT_EQ(journal, (std::vector<std::string>{tag("c", c0), tag("b", b1), tag("a", a1), tag("b", b1same),
                                                 tag("b", b2), tag("a", a2), tag("c", c7)}));
    EXPECT_EQ(a.lastSender, &a);

    journal.clear();
    EXPECT_FALSE(broadcast(a, "test", "x", "m"));
    EXPECT_EQ(journal, (std::vector<std::string>{tag("b", b2), tag("c", c7)}));
}

TEST(Ims, ResultCodesAndStop) {
    std::vector<std::string> journal;
    Probe first("first", journal, ImsHandled), second("second", journal, ImsNotHandled);
    std::uint64_t f = first.hook("codes", "", "", 0);
    std::uint64_t s = second.hook("codes", "", "", 2);
    EXPECT_TRUE(broadcast(first, "codes", "g", "m"));
    EXPECT_EQ(journal, (std::vector<std::string>{tag("first", f), tag("second", s)}));

    journal.clear();
    first.answer = ImsHandledStop; // stops also the lower-priority tables
    EXPECT_TRUE(broadcast(first, "codes", "g", "m"));
    EXPECT_EQ(journal, (std::vector<std::string>{tag("first", f)}));

    // Direct sends reach only the target and report any answer as sent.
    journal.clear();
    second.answer = ImsNotHandled;
    ImsMessage direct("codes", "g", "42");
    EXPECT_TRUE(first.sendMessage(second, direct));
    EXPECT_EQ(journal, (std::vector<std::string>{"second direct 42"}));
    EXPECT_EQ(second.lastSender, &first);
}

TEST(Ims, DuplicateHooksPerAgent) {
    std::vector<std::string> journal;
    Probe a("a", journal);
    a.hook("dup", "g", "m", 0);
    // Same patterns from the same agent: refused whatever the priority or once flag. (Another agent with
    // the same patterns gets its own hook: see the delivery order.)
    EXPECT_EQ(thrownText([&] { a.setMessageHook(true, "dup", "g", "m", 2); }),
              "Hook_Duplicate:\nHook_Duplicate: Trying to set a hook identical to a hook already set");
}

TEST(Ims, OnlyOnceHooksGoAfterTheFirstHandledDelivery) {
    std::vector<std::string> journal;
    Probe once("once", journal, ImsNotHandled), later("later", journal, ImsHandled);
    std::uint64_t id = once.hook("once-test", "", "", 0, true);
    Ims& ims = Ims::instance();
    std::size_t hooks = ims.hookCount();
    // Not handled by the time it returned: the hook stays.
    broadcast(once, "once-test", "", "");
    EXPECT_EQ(ims.hookCount(), hooks);
    // Handled by itself: gone after this delivery.
    once.answer = ImsHandled;
    EXPECT_TRUE(broadcast(once, "once-test", "", ""));
    EXPECT_EQ(ims.hookCount(), hooks - 1);
    EXPECT_FALSE(ims.removeHook(id));
    once.hooks.clear();

    // A once hook that answers "not handled" after an earlier hook handled the message also goes.
    later.hook("once-b", "", "", 0);
    once.answer = ImsNotHandled;
    once.hook("once-b", "", "", 1, true);
    EXPECT_TRUE(broadcast(once, "once-b", "", ""));
    EXPECT_EQ(ims.hookCount(), hooks);
    once.hooks.clear();
}

TEST(Ims, AHookSetInPlaceOfASpentOnceHookStays) {
    // The handler of an only-once hook removes it and sets another, which gets the same id back (on
    // the same patterns or others). The spent hook's clean-up must leave the new one alone.
    for (const char* successorPatterns : {"swap", "elsewhere"}) {
        std::vector<std::string> journal;
        Probe agent("agent", journal);
        Ims own;
        own.setHook(&agent, false, "other", "", "", 0);
        const std::uint64_t once = own.setHook(&agent, true, "swap", "", "", 0);
        std::uint64_t successor = 0;
        agent.during = [&] {
            if (successor == 0) {
                own.removeHook(once);
                successor = own.setHook(&agent, false, successorPatterns, "", "", 0);
            }
        };
        ImsMessage first("swap", "", "");
        EXPECT_TRUE(own.dispatch(first));
        EXPECT_EQ(successor, once);
        EXPECT_EQ(journal, (std::vector<std::string>{tag("agent", once)})) << successorPatterns;
        EXPECT_EQ(own.hookCount(), 2u) << successorPatterns;
        journal.clear();
        ImsMessage second(successorPatterns, "", "");
        EXPECT_TRUE(own.dispatch(second));
        EXPECT_EQ(journal, (std::vector<std::string>{tag("agent", successor)})) << successorPatterns;
    }
}

TEST(Ims, HandlersMayChangeHooksDuringDelivery) {
    std::vector<std::string> journal;
    Probe a("a", journal, ImsNotHandled), b("b", journal, ImsNotHandled), c("c", journal, ImsNotHandled);
    std::uint64_t aId = a.hook("live", "", "", 0);
    std::uint64_t bId = b.hook("live", "", "", 0);
    std::uint64_t other = 0, same = 0;
    // While "a" handles the message it removes b's hook (the largest id, so the next hook gets it again)
    // and adds two hooks for c: one on other patterns, one on the same.
    a.during = [&] {
        if (other == 0) {
            b.removeMessageHook(bId);
            b.hooks.erase(bId);
            other = c.hook("other", "", "", 0);
            same = c.hook("live", "", "", 0);
        }
    };
    broadcast(a, "live", "", "");
    EXPECT_EQ(other, bId);
    // b is skipped, and the hook that took its id does not get a message its patterns do not match; the
    // new hook on the same patterns waits for the next message.
    EXPECT_EQ(journal, (std::vector<std::string>{tag("a", aId)}));
    journal.clear();
    broadcast(a, "live", "", "");
    EXPECT_EQ(journal, (std::vector<std::string>{tag("a", aId), tag("c", same)}));
    journal.clear();
    broadcast(a, "other", "", "");
    EXPECT_EQ(journal, (std::vector<std::string>{tag("c", other)}));
}

TEST(Ims, MessageCopyTakesThePayloadOver) {
    struct Payload : ImsMessageParameter {
        explicit Payload(int& destroyed) : destroyed(destroyed) {}
        ~Payload() override { ++destroyed; }
        int& destroyed;
    };
    int destroyed = 0;
    {
        ImsMessage original("g", "r", "m", new Payload(destroyed));
        original.setOwnsParameter(true);
        ImsMessage copy(original);
        EXPECT_EQ(original.getParameter(), nullptr);
        EXPECT_NE(copy.getParameter(), nullptr);
        ImsMessage assigned("x", "y", "z");
        assigned = copy;
        EXPECT_EQ(copy.getParameter(), nullptr);
        EXPECT_EQ(assigned.getGeneralType(), "g");
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}
