#include "ImsAgent.h"

#include "Logger.h"

namespace VeltorCorelib {

namespace {
// Both are plain values with constant initialisation, so they are ready before any static constructor runs.
int liveAgents = 0;
Logger* sharedImsLogger = nullptr;
} // namespace

ImsAgent::ImsAgent(const std::string& name) : ims(&Ims::instance()), name(name), logger(name == "logger") {
    if (logger)
        return;
    ++liveAgents;
    if (sharedImsLogger == nullptr && liveAgents < 2) {
        try {
            sharedImsLogger = new Logger;
            sharedImsLogger->setModule("imsagent");
        } catch (...) {
            --liveAgents;
            throw;
        }
    }
}

ImsAgent::~ImsAgent() {
    if (logger)
        return;
    if (--liveAgents == 0) {
        delete sharedImsLogger;
        sharedImsLogger = nullptr;
    }
}

int ImsAgent::liveAgentCount() {
    return liveAgents;
}

Logger* ImsAgent::sharedLogger() {
    return sharedImsLogger;
}

Logger* ImsAgent::tracer(int level) const {
    if (logger || sharedImsLogger == nullptr || !sharedImsLogger->wouldLog(level))
        return nullptr;
    return sharedImsLogger;
}

int ImsAgent::receiveMessage(ImsMessage&) {
    return ImsNotHandled;
}

int ImsAgent::receiveHookedMessage(std::uint64_t, ImsMessage&) {
    return ImsNotHandled;
}

bool ImsAgent::sendMessage(ImsAgent& to, ImsMessage& message) {
    if (message.getGeneralType() != "debug")
        if (Logger* log = tracer(Logger::LevelTrace))
            log->trace("ImsAgent::sendMessage: To \"%\":\n%", makeParams(to.getName(), message.dump()));
    message.setSender(this);
    return to.receiveMessage(message) != 0;
}

bool ImsAgent::sendMessage(ImsMessage& message) {
    if (message.getGeneralType() != "debug")
        if (Logger* log = tracer(Logger::LevelFlood))
            log->flood("ImsAgent::sendMessage:\n%", makeParams(message.dump()));
    message.setSender(this);
    return ims->dispatch(message);
}

std::uint64_t ImsAgent::setMessageHook(bool onlyOnce, const std::string& generalGlob,
                                       const std::string& groupGlob, const std::string& messageGlob,
                                       int priority) {
    if (generalGlob != "debug")
        if (Logger* log = tracer(Logger::LevelVerbose))
            log->verbose(
                "ImsAgent::setMessageHook: Setting hook:\n\tHook only once   : %\n\tGeneral type glob: "
                "%\n\tGroup type glob  : %\n\tMessage type glob: %",
                makeParams(std::string(onlyOnce ? "yes" : "no"), generalGlob, groupGlob, messageGlob));
    try {
        return ims->setHook(this, onlyOnce, generalGlob, groupGlob, messageGlob, priority);
    } catch (const Ims::Hook_Duplicate& duplicate) {
        VELTOR_THROW_WRAPPED(Hook_Duplicate, duplicate);
    }
}

bool ImsAgent::removeMessageHook(std::uint64_t id) {
    if (Logger* log = tracer(Logger::LevelVerbose))
        log->verbose("ImsAgent::removeMessageHook: Removing hook %", makeParams(id));
    return ims->removeHook(id);
}

} // namespace VeltorCorelib
