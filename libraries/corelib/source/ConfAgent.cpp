#include "ConfAgent.h"

#include <memory>
#include <new>

namespace VeltorCorelib {

ConfAgent::ConfAgent() : ImsAgent("conf-agent") {}

void ConfAgent::getLocal(const std::string& key, StringList& values, std::uint32_t flags) {
    get(key, KeyType::LocalSet, &values, flags);
}

void ConfAgent::setLocal(const std::string& key, const StringList& values, std::uint32_t flags) {
    set(key, KeyType::LocalSet, &values, flags);
}

std::string ConfAgent::getSystem(const std::string& key, std::uint32_t flags) {
    std::string answer;
    get(key, KeyType::SystemString, &answer, flags);
    return answer;
}

ConfAgent::Answer ConfAgent::ask(const char* groupType, const std::string& key, std::uint32_t type,
                                 void* value, std::uint32_t flags) {
    Answer answer;
    std::unique_ptr<SystemQueryParam> parameter(new (std::nothrow) SystemQueryParam(key, type, value, flags));
    if (!parameter)
        return answer;
    answer.allocated = true;
    ImsMessage message("system", groupType, "", parameter.get());
    answer.handled = sendMessage(message);
    answer.key = parameter->key;
    answer.type = parameter->type;
    answer.status = parameter->status;
    return answer;
}

void ConfAgent::get(const std::string& key, std::uint32_t type, void* value, std::uint32_t flags) {
    const Answer answer = ask("query", key, type, value, flags);
    if (!answer.allocated)
        VELTOR_THROW_OOM(GetLocal_OutOfMemory);
    if (!answer.handled)
        VELTOR_THROW(
            GetLocal_ImsNotWorking,
            "@conf-agent.get-local.ims-not-working{Failed to query local configuration key \"%\" because "
            "IMS isn't working};",
            key);
    switch (answer.status) {
    case QueryStatus::NotFound:
        VELTOR_THROW(GetLocal_NotFound,
                     "@conf-agent.get-local.not-found{Configuration key \"%\" was not found};", answer.key);
    case QueryStatus::WrongType:
    // A key type the answering agent does not serve must not pass for an answer: the caller's variable
    // was never filled.
    case QueryStatus::BadKeyType:
        VELTOR_THROW(
            GetLocal_WrongType,
            "@conf-agent.get-local.wrong-type{Configuration key \"%\" is not of requested type (%)};",
            answer.key, keyTypeName(answer.type));
    case QueryStatus::NoAccess:
        VELTOR_THROW(
            GetLocal_NoAccess,
            "@conf-agent.get-local.no-access{Got request for configuration key \"%\" of type %, but failed "
            "to get access to it};",
            answer.key, keyTypeName(answer.type));
    default:
        return;
    }
}

void ConfAgent::set(const std::string& key, std::uint32_t type, const void* value, std::uint32_t flags) {
    // The answering side only reads through the pointer of a set.
    const Answer answer = ask("set", key, type, const_cast<void*>(value), flags);
    if (!answer.allocated)
        VELTOR_THROW_OOM(SetLocal_OutOfMemory);
    if (!answer.handled)
        VELTOR_THROW(
            SetLocal_ImsNotWorking,
            "@conf-agent.set-local.ims-not-working{Failed to set local configuration key \"%\" because IMS "
            "isn't working};",
            key);
    switch (answer.status) {
    case QueryStatus::InvalidType:
        VELTOR_THROW(
            SetLocal_InvalidType,
            "@conf-agent.set-local.invalid-type{Cannot set configuration key \"%\" of type \"%\" - invalid "
            "type};",
            answer.key, keyTypeName(answer.type));
    case QueryStatus::SetNoAccess:
        VELTOR_THROW(
            SetLocal_NoAccess,
            "@conf-agent.set-local.no-access{Cannot set configuration key \"%\" of type \"%\" because access "
            "to it was denied};",
            answer.key, keyTypeName(answer.type));
    case QueryStatus::SetFailure:
        VELTOR_THROW(SetLocal_Failure,
                     "@conf-agent.set-local.failure{Configuration key \"%\" of type \"%\" could not be set};",
                     answer.key, keyTypeName(answer.type));
    default:
        return;
    }
}

} // namespace VeltorCorelib
