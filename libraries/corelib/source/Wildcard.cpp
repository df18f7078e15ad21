#include "Wildcard.h"

namespace VeltorCorelib {

bool matchWildcard(std::string_view text, std::string_view pattern, std::size_t start, std::size_t length) {
    if (start >= text.size()) {
        // Runs of stars count as one star, also here: "**" matches the empty text as "*" does.
        return pattern.find_first_not_of('*') == std::string_view::npos;
    }
    if (length == 0 || pattern.empty())
        return false;

    const char* t = text.data() + start;
    const char* const tEnd = text.data() + text.size();
    const char* p = pattern.data();
    const char* const pEnd = p + pattern.size();

    // Quick decision on the literal head: most names are rejected here, before any backtracking.
    while (p < pEnd && *p != '*') {
        if (t == tEnd || (*p != '?' && *p != *t))
            return false;
        ++p;
        ++t;
    }
    if (p == pEnd)
        return t == tEnd;

    // One backtracking point: the last star seen and the text position it has swallowed up to.
    const char* starPattern = nullptr;
    const char* starText = nullptr;
    while (t < tEnd) {
        if (p < pEnd && *p == '*') {
            while (p < pEnd && *p == '*')
                ++p;
            if (p == pEnd)
                return true;
            starPattern = p;
            starText = t;
            continue;
        }
        if (p < pEnd && (*p == '?' || *p == *t)) {
            ++p;
            ++t;
            continue;
        }
        if (starPattern == nullptr)
            return false;
        p = starPattern;
        t = ++starText;
    }
    while (p < pEnd && *p == '*')
        ++p;
    return p == pEnd;
}

} // namespace VeltorCorelib
