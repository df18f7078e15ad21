// The in-process message service. Agents (ImsAgent) send messages directly to each other or broadcast
// them; a broadcast reaches every agent whose hook patterns match the message's three type strings.
// Delivery is synchronous, on the sender's thread.
//
// Hooks sit in three priority tables (0 first, then 1, then 2). Within a table, hooks are grouped by their
// pattern triple in plain string order, and hooks of one triple are called in ascending id order. A
// receiver answering ImsHandledStop ends the delivery.
#pragma once
#include "Exception.h"
#include "ImsMessage.h"
#include "ThreadLock.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace VeltorCorelib {

class Ims {
public:
    VELTOR_ERROR_TYPE(Hook_Duplicate);
    VELTOR_ERROR_TYPE(Ims_OutOfMemory);

    // The process-wide service, made on the first call and never destroyed.
    static Ims& instance();

    // A private service, apart from the process-wide one (tests use it to start from no hooks).
    Ims();
    Ims(const Ims&) = delete;
    Ims& operator=(const Ims&) = delete;

    // Adds a hook and gives its id: 1 for the first hook, else the largest id plus 1. An empty pattern does
    // not test its field. Priority 0 and 1 pick those tables, anything else table 2. Throws
    // Hook_Duplicate when this agent already hooks exactly these patterns.
    std::uint64_t setHook(ImsAgent* agent, bool onlyOnce, const std::string& generalGlob,
                          const std::string& groupGlob, const std::string& messageGlob, int priority);
    // True when the hook existed.
    bool removeHook(std::uint64_t id);
    // Delivers a broadcast; true when some hook handled it. Only-once hooks are removed after the
    // delivery in which the message counted as handled. Receivers may set and remove hooks meanwhile.
    bool dispatch(ImsMessage& message);

    std::size_t hookCount() const;

    // '*' any run of characters, '?' one character, anything else itself (case-sensitive), whole text.
    static bool matchGlob(const std::string& pattern, const std::string& text);

private:
    struct Hook {
        ImsAgent* agent;
        std::string generalGlob;
        std::string groupGlob;
        std::string messageGlob;
        bool onlyOnce;
        int table; // the priority table that lists the id
        // Ids are reused; the serial never is, so a hook can be told from a later one with its id.
        std::uint64_t serial;
    };
    using Triple = std::tuple<std::string, std::string, std::string>;
    using Table = std::map<Triple, std::set<std::uint64_t>>;

    bool removeHookLocked(std::uint64_t id);

    std::map<std::uint64_t, Hook> hooks;
    std::uint64_t lastSerial = 0;
    Table tables[3];
    mutable ThreadLock lock;
};

} // namespace VeltorCorelib
