// Small text helpers of the removal engine: splitting, trimming and reading integers from rule lines,
// date ranges and web-session files. Kept apart so they can be tested on their own.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Veltor {
namespace RemoverText {

// The white space stripped from rule fields, directories and session times.
constexpr const char* kWhiteSpace = " \r\n\t\v\b\f";

// Splits at every character of `delimiters`; empty pieces are dropped.
std::vector<std::string> split(const std::string& text, const char* delimiters);
// The non-empty piece number `index` (from 0) of `split`, without building the others; false when
// there are not that many.
bool piece(std::string_view text, const char* delimiters, std::size_t index, std::string_view& out);
// Number of non-empty pieces `split` would give, without building them.
std::size_t countPieces(std::string_view text, char delimiter);

std::string_view trim(std::string_view text);

// An optional leading '-', then decimal digits up to the first other character; no digits gives 0.
// Overlong digit runs saturate at the 64-bit limits instead of overflowing.
std::int64_t readInteger(std::string_view text);

// The path without its last extension: everything before the last '.', the whole path when it has none.
std::string withoutExtension(const std::string& path);

// Splits a path at its last separator ('/' or '\\'): the directory before it and the name after it.
// A path without a separator is a name in the current directory ".".
void splitPath(const std::string& path, std::string& dir, std::string& name);

// The greatest name in byte order among those offered. A pass that visits a directory in its own
// order ends with the current path where a pass in name order would end.
class LastName {
public:
    void offer(std::string_view name) {
        if (!any_ || name > std::string_view(name_)) {
            name_.assign(name);
            any_ = true;
        }
    }
    bool any() const { return any_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    bool any_ = false;
};

} // namespace RemoverText
} // namespace Veltor
