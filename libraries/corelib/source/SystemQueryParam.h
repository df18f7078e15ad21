// The payload of a "system" query or set: which key, of which type, where the answer goes (or where the
// value to store comes from), the caller's flags, and the status the answering agent reports.
//
// The value pointer's type follows the key type:
//   SystemString (20), LocalString (24)  std::string*
//   LocalInt (21)                        std::int64_t*
//   LocalUInt (22)                       std::uint64_t*
//   LocalFloat (23)                      double*
//   LocalSet (25)                        StringList*
#pragma once
#include "ImsMessage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VeltorCorelib {

using StringList = std::vector<std::string>;

// Key type codes; keyTypeName gives the names shown in error messages.
namespace KeyType {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Bool = 1;
constexpr std::uint32_t Int = 2;
constexpr std::uint32_t UInt = 3;
constexpr std::uint32_t Float = 4;
constexpr std::uint32_t String = 5;
constexpr std::uint32_t DateTime = 7;
constexpr std::uint32_t TimeOfDay = 8;
constexpr std::uint32_t TimeZone = 9;
constexpr std::uint32_t TimeSpan = 10;
constexpr std::uint32_t Dir = 11;
constexpr std::uint32_t File = 12;
constexpr std::uint32_t List = 13;
constexpr std::uint32_t SubEntries = 14;
constexpr std::uint32_t Attributes = 16;
constexpr std::uint32_t SystemString = 20;
constexpr std::uint32_t LocalInt = 21;
constexpr std::uint32_t LocalUInt = 22;
constexpr std::uint32_t LocalFloat = 23;
constexpr std::uint32_t LocalString = 24;
constexpr std::uint32_t LocalSet = 25;
} // namespace KeyType

// "none", "bool", ..., "local set"; "undefined" for any code not in the table.
const char* keyTypeName(std::uint32_t type);

// Flags the answering agent interprets.
namespace QueryFlag {
constexpr std::uint32_t Trim = 2;       // trim strings and list items of " \r\n\t\v\b\f"
constexpr std::uint32_t LocalStore = 4; // answer local values from the local value store
constexpr std::uint32_t Registry = 8;   // without LocalStore: the registry-based way (not supported)
constexpr std::uint32_t Add = 16;       // a set of a numeric local value adds instead of replacing
constexpr std::uint32_t Frame = Trim | LocalStore; // what the application frame passes (6)
} // namespace QueryFlag

// Statuses. 0 when built; the answering agent sets one of the others.
namespace QueryStatus {
constexpr std::uint32_t Built = 0;
constexpr std::uint32_t Success = 1;
constexpr std::uint32_t NotFound = 3;     // get
constexpr std::uint32_t WrongType = 4;    // get: the key exists, a value of that type does not
constexpr std::uint32_t BadKeyType = 5;   // get: the key type is not one the agent answers
constexpr std::uint32_t NoAccess = 6;     // get
constexpr std::uint32_t InvalidType = 9;  // set
constexpr std::uint32_t SetNoAccess = 10; // set
constexpr std::uint32_t SetFailure = 11;  // set
} // namespace QueryStatus

class SystemQueryParam : public ImsMessageParameter {
public:
    SystemQueryParam(const std::string& key, std::uint32_t type, void* value, std::uint32_t flags)
        : key(key), type(type), value(value), flags(flags) {}

    std::string key;
    std::uint32_t type;
    void* value;
    std::uint32_t flags;
    std::uint32_t status = QueryStatus::Built;
};

} // namespace VeltorCorelib
