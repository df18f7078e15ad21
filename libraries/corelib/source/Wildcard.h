// The one wildcard matcher of the system: '*' any run of characters (none included), '?' exactly one
// character, every other character itself (byte comparison, so case-sensitive); the whole name must match.
#pragma once
#include <cstddef>
#include <string_view>

namespace VeltorCorelib {

// True when text from index start to its end matches pattern. A length of zero gives no match; any
// other length is ignored (it does not shorten the text). An empty remainder matches only an empty
// pattern or one made of stars. Allocates nothing.
bool matchWildcard(std::string_view text, std::string_view pattern, std::size_t start = 0,
                   std::size_t length = std::string_view::npos);

} // namespace VeltorCorelib
