// Registry access: string and multi-string values and sub-key lists, addressed by a root key name
// ("HKEY_LOCAL_MACHINE", ...), a key path and a value name. Every failure is one of the nested types.
// The key "SOFTWARE\Veltor\Resources" and the keys below it are redirected to the key named by
// VELTOR_ENV when it is set and not empty, so a test or second environment can bring its own
// resources key.
#pragma once
#include "Exception.h"

#include <string>
#include <vector>

namespace VeltorCorelib {

class WinRegistry {
public:
    VELTOR_ERROR_TYPE(Get_BadArguments);
    VELTOR_ERROR_TYPE(Get_AccessDenied);
    VELTOR_ERROR_TYPE(Get_NotFound);
    VELTOR_ERROR_TYPE(Get_OutOfMemory);
    VELTOR_ERROR_TYPE(Get_UnknownError);
    VELTOR_ERROR_TYPE(Get_WrongType);
    VELTOR_ERROR_TYPE(Set_BadArguments);
    VELTOR_ERROR_TYPE(Set_AccessDenied);
    VELTOR_ERROR_TYPE(Set_OutOfMemory);
    VELTOR_ERROR_TYPE(Set_UnknownError);
    // Contained in one of the errors above when the registry's backing file caused it (the POSIX
    // build's .reg file: malformed, refused for its permissions, unwritable); its text names the file and,
    // for a malformed file, the line.
    VELTOR_ERROR_TYPE(File_Error);

    // with64BitView: open with KEY_WOW64_64KEY, so a 32-bit program sees the 64-bit view.
    static std::string getString(const std::string& hive, const std::string& key, const std::string& value,
                                 bool with64BitView);
    static std::vector<std::string> getMultiString(const std::string& hive, const std::string& key,
                                                   const std::string& value, bool with64BitView);
    // In the order the system enumerates them.
    static std::vector<std::string> getSubKeys(const std::string& hive, const std::string& key,
                                               bool with64BitView);
    static void setString(const std::string& hive, const std::string& key, const std::string& value,
                          const std::string& text, bool with64BitView);
    static void setMultiString(const std::string& hive, const std::string& key, const std::string& value,
                               const std::vector<std::string>& items, bool with64BitView);

    // '/' becomes '\'; a path that is "SOFTWARE\Veltor\Resources" or starts with it and a '\' gets
    // those 25 characters replaced by VELTOR_ENV's value when that variable is set and not empty.
    static std::string resolveKeyPath(const std::string& key);
};

} // namespace VeltorCorelib
