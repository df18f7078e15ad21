#include "OldFilesRemoverText.h"

#include <cstring>
#include <limits>

namespace Veltor {
namespace RemoverText {

std::vector<std::string> split(const std::string& text, const char* delimiters) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of(delimiters, start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > start)
            pieces.emplace_back(text, start, stop - start);
        start = stop + 1;
    }
    return pieces;
}

bool piece(std::string_view text, const char* delimiters, std::size_t index, std::string_view& out) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of(delimiters, start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        if (stop > start) {
            if (index == 0) {
                out = text.substr(start, stop - start);
                return true;
            }
            --index;
        }
        start = stop + 1;
    }
    return false;
}

std::size_t countPieces(std::string_view text, char delimiter) {
    std::size_t count = 0;
    bool inPiece = false;
    for (const char c : text) {
        if (c == delimiter) {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++count;
        }
    }
    return count;
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return std::string_view();
    const std::size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::int64_t readInteger(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i = 1;
    // Accumulate as a negative number so the most negative value is reachable, and saturate.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (saturated)
            continue;
        if (value < (lowest + digit) / 10) {
            saturated = true;
            value = lowest;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::numeric_limits<std::int64_t>::max();
    return -value;
}

std::string withoutExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

void splitPath(const std::string& path, std::string& dir, std::string& name) {
    const std::string::size_type cut = path.find_last_of("/\\");
    if (cut == std::string::npos) {
        dir = ".";
        name = path;
        return;
    }
    dir = path.substr(0, cut == 0 ? 1 : cut);
    name = path.substr(cut + 1);
}

} // namespace RemoverText
} // namespace Veltor
