// matchWildcard against a plain dynamic-programming matcher: both must agree on every text and pattern.
#include "Wildcard.h"
#include "FuzzTarget.h"

#include <vector>

namespace {
// matches[i][j]: text from i on matches pattern from j on.
bool referenceMatch(const std::string& text, const std::string& pattern) {
    const std::size_t n = text.size();
    const std::size_t m = pattern.size();
    std::vector<std::vector<char>> matches(n + 1, std::vector<char>(m + 1, 0));
    matches[n][m] = 1;
    for (std::size_t j = m; j-- > 0;)
        matches[n][j] = pattern[j] == '*' && matches[n][j + 1];
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            if (pattern[j] == '*')
                matches[i][j] = matches[i][j + 1] || matches[i + 1][j];
            else
                matches[i][j] = (pattern[j] == '?' || pattern[j] == text[i]) && matches[i + 1][j + 1];
        }
    }
    return matches[0][0] != 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 512)
        return 0;
    // First byte: the start index; then pattern and text split at the first zero byte.
    const std::size_t start = data[0] % 8;
    std::string rest = fuzzText(data + 1, size - 1);
    std::size_t split = rest.find('\0');
    std::string pattern = split == std::string::npos ? rest : rest.substr(0, split);
    std::string text = split == std::string::npos ? std::string() : rest.substr(split + 1);

    bool fast = VeltorCorelib::matchWildcard(text, pattern, start);
    bool expected = referenceMatch(start < text.size() ? text.substr(start) : std::string(), pattern);
    FUZZ_CHECK(fast == expected);
    FUZZ_CHECK(text.empty() || start >= text.size() ||
               !VeltorCorelib::matchWildcard(text, pattern, start, 0));
    return 0;
}
