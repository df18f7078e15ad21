#include "Ims.h"

#include "ImsAgent.h"

#include <new>
#include <vector>

namespace VeltorCorelib {

Ims& Ims::instance() {
    static Ims* const service = [] {
        Ims* made = new (std::nothrow) Ims;
        if (made == nullptr)
            throw Ims_OutOfMemory(std::string("@out-of-memory{Out of memory};"), VELTOR_SOURCE);
        return made;
    }();
    return *service;
}

Ims::Ims() = default;

bool Ims::matchGlob(const std::string& pattern, const std::string& text) {
    // Greedy scan that returns to the last '*' on a mismatch: linear in practice, never exponential.
    std::size_t p = 0, t = 0;
    std::size_t starAt = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::uint64_t Ims::setHook(ImsAgent* agent, bool onlyOnce, const std::string& generalGlob,
                           const std::string& groupGlob, const std::string& messageGlob, int priority) {
    ThreadLockGuard guard(lock);
    Triple triple(generalGlob, groupGlob, messageGlob);
    for (const Table& table : tables) {
        auto entry = table.find(triple);
        if (entry == table.end())
            continue;
        for (std::uint64_t id : entry->second) {
            auto hook = hooks.find(id);
            if (hook != hooks.end() && hook->second.agent == agent)
                throw Hook_Duplicate(
                    std::string("@ims.hook.duplicate{Trying to set a hook identical to a hook "
                                "already set};"),
                    VELTOR_SOURCE);
        }
        break;
    }
    std::uint64_t id = hooks.empty() ? 1 : hooks.rbegin()->first + 1;
    int table = priority == 0 ? 0 : priority == 1 ? 1 : 2;
    hooks.emplace(id, Hook{agent, generalGlob, groupGlob, messageGlob, onlyOnce, table, ++lastSerial});
    tables[table][triple].insert(id);
    return id;
}

bool Ims::removeHook(std::uint64_t id) {
    ThreadLockGuard guard(lock);
    return removeHookLocked(id);
}

bool Ims::removeHookLocked(std::uint64_t id) {
    auto hook = hooks.find(id);
    if (hook == hooks.end())
        return false;
    // The id is taken out of the table that lists it. (The first table with an entry for the same
    // patterns may belong to another hook; leaving the id behind there would hand a later hook that gets
    // this id again the messages of these patterns.)
    Table& table = tables[hook->second.table];
    auto entry =
        table.find(Triple(hook->second.generalGlob, hook->second.groupGlob, hook->second.messageGlob));
    if (entry != table.end()) {
        entry->second.erase(id);
        if (entry->second.empty())
            table.erase(entry);
    }
    hooks.erase(hook);
    return true;
}

std::size_t Ims::hookCount() const {
    ThreadLockGuard guard(lock);
    return hooks.size();
}

bool Ims::dispatch(ImsMessage& message) {
    int result = ImsNotHandled;
    // Spent only-once hooks by id and serial: a receiver may remove its hook and set a new one that
    // gets the same id, and that one is not spent.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spent;
    for (int priority = 0; priority < 3 && result != ImsHandledStop; ++priority) {
        // Delivered from a copy: receivers may set and remove hooks while the message travels.
        Table table;
        std::map<std::uint64_t, std::uint64_t> serials; // of the hooks the copy lists
        {
            ThreadLockGuard guard(lock);
            table = tables[priority];
            for (const auto& [triple, ids] : table)
                for (std::uint64_t id : ids)
                    serials.emplace(id, hooks.at(id).serial);
        }
        for (auto entry = table.begin(); entry != table.end() && result != ImsHandledStop; ++entry) {
            const std::string& general = std::get<0>(entry->first);
            const std::string& group = std::get<1>(entry->first);
            const std::string& type = std::get<2>(entry->first);
            if ((!general.empty() && !matchGlob(general, message.getGeneralType())) ||
                (!group.empty() && !matchGlob(group, message.getGroupType())) ||
                (!type.empty() && !matchGlob(type, message.getMessageType())))
                continue;
            for (auto id = entry->second.begin(); id != entry->second.end() && result != ImsHandledStop;
                 ++id) {
                ImsAgent* agent = nullptr;
                bool onlyOnce = false;
                std::uint64_t serial = 0;
                {
                    // A hook removed meanwhile is skipped. So is a hook set meanwhile that took the id
                    // of a removed one (ids are reused): it waits for the next message.
                    ThreadLockGuard guard(lock);
                    auto hook = hooks.find(*id);
                    if (hook != hooks.end() && hook->second.serial == serials[*id]) {
                        agent = hook->second.agent;
                        onlyOnce = hook->second.onlyOnce;
                        serial = hook->second.serial;
                    }
                }
                int code = agent != nullptr ? agent->receiveHookedMessage(*id, message) : ImsNotHandled;
                if (code == ImsHandled)
                    result = ImsHandled;
                else if (code == ImsHandledStop)
                    result = ImsHandledStop;
                if (onlyOnce && result != ImsNotHandled)
                    spent.emplace_back(*id, serial);
            }
        }
    }
    if (!spent.empty()) {
        ThreadLockGuard guard(lock);
        for (const auto& [id, serial] : spent) {
            auto hook = hooks.find(id);
            if (hook != hooks.end() && hook->second.serial == serial)
                removeHookLocked(id);
        }
    }
    return result != ImsNotHandled;
}

} // namespace VeltorCorelib
