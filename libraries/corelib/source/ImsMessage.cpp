#include "ImsMessage.h"

namespace VeltorCorelib {

ImsMessage::ImsMessage(const std::string& generalType, const std::string& groupType,
                       const std::string& messageType, ImsMessageParameter* parameter)
    : generalType(generalType), groupType(groupType), messageType(messageType), parameter(parameter) {}

ImsMessage::ImsMessage(const ImsMessage& other)
    : generalType(other.generalType), groupType(other.groupType), messageType(other.messageType),
      parameter(other.parameter), ownsParameter(other.ownsParameter), sender(other.sender) {
    other.parameter = nullptr;
    other.ownsParameter = false;
}

ImsMessage& ImsMessage::operator=(const ImsMessage& other) {
    if (this == &other)
        return *this;
    release();
    generalType = other.generalType;
    groupType = other.groupType;
    messageType = other.messageType;
    parameter = other.parameter;
    ownsParameter = other.ownsParameter;
    sender = other.sender;
    other.parameter = nullptr;
    other.ownsParameter = false;
    return *this;
}

ImsMessage::~ImsMessage() {
    release();
}

void ImsMessage::release() {
    if (ownsParameter)
        delete parameter;
    parameter = nullptr;
    ownsParameter = false;
}

std::string ImsMessage::dump() const {
    return "\tGeneral type: " + generalType + "\n\tGroup type  : " + groupType +
           "\n\tMessage type: " + messageType;
}

} // namespace VeltorCorelib
