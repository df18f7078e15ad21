#include "platform/FileReplace.h"

#include "Errors.h"
#include "WideCalls.h"

namespace VeltorPlatform {

std::uint32_t replaceFile(const std::string& from, const std::string& to) {
    // The W call: names outside the code page and paths beyond MAX_PATH work as elsewhere.
    return Wide::moveFile(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                        : Win32::lastError();
}

} // namespace VeltorPlatform
