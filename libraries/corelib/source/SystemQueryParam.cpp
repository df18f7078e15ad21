#include "SystemQueryParam.h"

namespace VeltorCorelib {

const char* keyTypeName(std::uint32_t type) {
    switch (type) {
    case KeyType::None:
        return "none";
    case KeyType::Bool:
        return "bool";
    case KeyType::Int:
        return "int";
    case KeyType::UInt:
        return "uint";
    case KeyType::Float:
        return "float";
    case KeyType::String:
        return "string";
    case KeyType::DateTime:
        return "datetime";
    case KeyType::TimeOfDay:
        return "time-of-day";
    case KeyType::TimeZone:
        return "timezone";
    case KeyType::TimeSpan:
        return "timespan";
    case KeyType::Dir:
        return "dir";
    case KeyType::File:
        return "file";
    case KeyType::List:
        return "list";
    case KeyType::SubEntries:
        return "sub-entries";
    case KeyType::Attributes:
        return "attributes";
    case KeyType::SystemString:
        return "system string";
    case KeyType::LocalInt:
        return "local int";
    case KeyType::LocalUInt:
        return "local uint";
    case KeyType::LocalFloat:
        return "local float";
    case KeyType::LocalString:
        return "local string";
    case KeyType::LocalSet:
        return "local set";
    default:
        return "undefined";
    }
}

} // namespace VeltorCorelib
