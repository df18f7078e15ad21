// Base of every component that sends or receives messages of the internal message service (Ims).
//
// A receiver overrides receiveMessage (direct sends) and, when it sets hooks, receiveHookedMessage:
//
//     class Answerer : public ImsAgent {
//     public:
//         Answerer() : ImsAgent("answerer") { hook = setMessageHook(false, "system", "query", "", 1); }
//         ~Answerer() override { removeMessageHook(hook); }
//         int receiveHookedMessage(std::uint64_t id, ImsMessage& message) override {
//             return id == hook ? receiveMessage(message) : ImsNotHandled;
//         }
//         int receiveMessage(ImsMessage& message) override { ...; return ImsHandled; }
//     private:
//         std::uint64_t hook = 0;
//     };
//
// Agents remove their own hooks in their destructors. The service's traces go through one shared logger
// (module "imsagent") that lives while at least one agent other than a logger exists.
#pragma once
#include "Exception.h"
#include "Ims.h"
#include "ImsMessage.h"

#include <cstdint>
#include <string>

namespace VeltorCorelib {

class Logger;

class ImsAgent {
public:
    VELTOR_ERROR_TYPE(Hook_Duplicate);

    // The name "logger" is reserved for loggers: such agents are not counted and never traced.
    explicit ImsAgent(const std::string& name);
    virtual ~ImsAgent();
    ImsAgent(const ImsAgent&) = delete;
    ImsAgent& operator=(const ImsAgent&) = delete;

    // A message sent directly to this agent. The base answers ImsNotHandled.
    virtual int receiveMessage(ImsMessage& message);
    // A broadcast that matched the hook with this id. The base answers ImsNotHandled.
    virtual int receiveHookedMessage(std::uint64_t id, ImsMessage& message);

    // Direct send: the target's receiveMessage runs before this returns; true for any answer but 0.
    bool sendMessage(ImsAgent& to, ImsMessage& message);
    // Broadcast to every matching hook; true when some hook handled it.
    bool sendMessage(ImsMessage& message);
    // Priority 0, 1 or 2 (0 is served first). Throws Hook_Duplicate (wrapping the service's error) when
    // this agent already hooks exactly these patterns.
    std::uint64_t setMessageHook(bool onlyOnce, const std::string& generalGlob, const std::string& groupGlob,
                                 const std::string& messageGlob, int priority);
    bool removeMessageHook(std::uint64_t id);

    const std::string& getName() const { return name; }
    bool isLogger() const { return logger; }

    // Live agents other than loggers, and the shared "imsagent" logger (null while there are none).
    static int liveAgentCount();
    static Logger* sharedLogger();

protected:
    Ims* ims;

private:
    // The shared logger when this agent may trace at the level, else null.
    Logger* tracer(int level) const;

    std::string name;
    bool logger;
};

} // namespace VeltorCorelib
