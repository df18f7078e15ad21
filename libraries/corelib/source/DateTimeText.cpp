// Date-time parameter values print as ISO 8601 UTC with milliseconds, e.g. 2015-03-07T10:04:05.123Z.
#include "DateTime.h"
#include "ParamStream.h"

namespace VeltorCorelib {
namespace ParamText {

std::string formatDateTimeValue(std::uint64_t milliseconds) {
    return DateTimeDetails(static_cast<std::int64_t>(milliseconds)).format(true, false, false);
}

} // namespace ParamText
} // namespace VeltorCorelib
