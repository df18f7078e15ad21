#include "platform/FileReplace.h"

#include <windows.h>

namespace VeltorPlatform {

std::uint32_t replaceFile(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<std::uint32_t>(::GetLastError());
}

} // namespace VeltorPlatform
