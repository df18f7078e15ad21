// The client side of the configuration: reads and writes typed values by broadcasting "system" queries
// ("query" to read, "set" to write) that an answering agent (SystemBase) hooks. The caller's variable
// travels by pointer in a SystemQueryParam; see there for which C++ type goes with which key type.
//
// The application frame holds one as its last service member and keeps its list of running instances
// with getLocal / setLocal on "local set" values, flags QueryFlag::Frame (6):
//     StringList instances;
//     confAgent.getLocal("veltor/instances/" + applicationName, instances, QueryFlag::Frame);
// A failure is thrown as one of the types below; a get that finds nothing throws GetLocal_NotFound.
#pragma once
#include "Exception.h"
#include "ImsAgent.h"
#include "SystemQueryParam.h"

#include <cstdint>
#include <string>

namespace VeltorCorelib {

class ConfAgent : public ImsAgent {
public:
    VELTOR_ERROR_TYPE(GetLocal_OutOfMemory);
    VELTOR_ERROR_TYPE(GetLocal_ImsNotWorking);
    VELTOR_ERROR_TYPE(GetLocal_NotFound);
    VELTOR_ERROR_TYPE(GetLocal_WrongType);
    VELTOR_ERROR_TYPE(GetLocal_NoAccess);
    VELTOR_ERROR_TYPE(SetLocal_OutOfMemory);
    VELTOR_ERROR_TYPE(SetLocal_ImsNotWorking);
    VELTOR_ERROR_TYPE(SetLocal_InvalidType);
    VELTOR_ERROR_TYPE(SetLocal_Failure);
    VELTOR_ERROR_TYPE(SetLocal_NoAccess);

    // An agent named "conf-agent"; it sets no hooks and answers nothing itself.
    ConfAgent();

    // A "local set" value: read into the list, or stored from it.
    void getLocal(const std::string& key, StringList& values, std::uint32_t flags);
    void setLocal(const std::string& key, const StringList& values, std::uint32_t flags);

    // The same query for any key type; value points to the variable of the type's C++ type.
    void get(const std::string& key, std::uint32_t type, void* value, std::uint32_t flags);
    void set(const std::string& key, std::uint32_t type, const void* value, std::uint32_t flags);

    // A system fact by query name ("hostname", "os", "groupusers.Administrators", ...), type 20.
    std::string getSystem(const std::string& key, std::uint32_t flags = QueryFlag::Frame);

private:
    struct Answer {
        bool allocated = false;
        bool handled = false;
        std::string key;
        std::uint32_t type = 0;
        std::uint32_t status = 0;
    };
    // Builds the query, broadcasts it as "system"/groupType and hands back what the answering side said.
    Answer ask(const char* groupType, const std::string& key, std::uint32_t type, void* value,
               std::uint32_t flags);
};

} // namespace VeltorCorelib
