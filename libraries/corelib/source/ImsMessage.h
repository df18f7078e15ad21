// A message of the internal message service: three type strings that hooks match with glob patterns,
// and an optional payload.
#pragma once
#include <string>

namespace VeltorCorelib {

class ImsAgent;

// Base of every payload carried by an ImsMessage.
class ImsMessageParameter {
public:
    virtual ~ImsMessageParameter() = default;
};

// Result codes of the receive operations.
enum ImsResult : int {
    ImsNotHandled = 1,
    ImsHandled = 2,
    ImsHandledStop = 3, // handled, and no further hook gets the message
};

class ImsMessage {
public:
    ImsMessage(const std::string& generalType, const std::string& groupType, const std::string& messageType,
               ImsMessageParameter* parameter = nullptr);
    // A copy takes the payload over (and its ownership): the source is left without one.
    ImsMessage(const ImsMessage& other);
    ImsMessage& operator=(const ImsMessage& other);
    ~ImsMessage();

    const std::string& getGeneralType() const { return generalType; }
    const std::string& getGroupType() const { return groupType; }
    const std::string& getMessageType() const { return messageType; }
    ImsMessageParameter* getParameter() const { return parameter; }
    // When set, the message deletes its payload when it is destroyed; off after construction.
    void setOwnsParameter(bool owns) { ownsParameter = owns; }
    bool getOwnsParameter() const { return ownsParameter; }
    // The agent that sent the message; set by the send operations, null before.
    ImsAgent* getSender() const { return sender; }
    void setSender(ImsAgent* agent) { sender = agent; }

    // "\tGeneral type: ...\n\tGroup type  : ...\n\tMessage type: ..." as the service's traces show it.
    std::string dump() const;

private:
    void release();

    std::string generalType;
    std::string groupType;
    std::string messageType;
    mutable ImsMessageParameter* parameter;
    mutable bool ownsParameter = false;
    ImsAgent* sender = nullptr;
};

} // namespace VeltorCorelib
