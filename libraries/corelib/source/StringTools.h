// Splitting text into pieces, mainly to wrap long help texts into lines of a given width.
//
// Wrapping a text to lines of at most `width` characters (the command-line help does exactly this):
//
//     std::vector<std::string> lines =
//         StringTools::split(text, StringTools::LineSizeSearcher(width), StringTools::unlimited, true);
//
// Each line is cut after the last break character that fits (white space is dropped at the cut, other
// break characters such as '-' or '/' stay at the end of their line); a word longer than the width is cut
// hard; a line feed in the text always ends a line; empty lines are dropped because the last argument is
// true.
#pragma once
#include "ParamStream.h"

#include <cstddef>
#include <string>
#include <vector>

namespace VeltorCorelib {
namespace StringTools {

// No limit on the number of pieces for split.
constexpr std::size_t unlimited = static_cast<std::size_t>(-1);

// Finds where the next piece of a text ends. Both forms look at text[start, start + length) and, when a
// piece can be found, set pieceEnd (one past its last character) and skip (characters to pass over after
// it, 0 or 1) and return true.
class StringSearcher {
public:
    virtual ~StringSearcher() = default;
    virtual bool find(const WString& text, std::size_t start, std::size_t length, std::size_t& pieceEnd,
                      std::size_t& skip) const = 0;
    virtual bool find(const std::string& text, std::size_t start, std::size_t length, std::size_t& pieceEnd,
                      std::size_t& skip) const = 0;
};

// Pieces of at most `width` characters, broken after white space (" \r\n\t\v\b\f", dropped) or one of
// "-/.,:;&+*%" (kept; such a piece may be one character longer than the width), or at a line feed.
class LineSizeSearcher : public StringSearcher {
public:
    explicit LineSizeSearcher(unsigned width);

    bool find(const WString& text, std::size_t start, std::size_t length, std::size_t& pieceEnd,
              std::size_t& skip) const override;
    bool find(const std::string& text, std::size_t start, std::size_t length, std::size_t& pieceEnd,
              std::size_t& skip) const override;

    unsigned getWidth() const { return width; }

private:
    unsigned width;
    std::string breaks;
    WString wideBreaks;
};

// Cuts the text into pieces found by the searcher, from the start on. At most maxPieces pieces are made
// (0 counts as unlimited); when that many are reached the rest of the text is the last piece. A piece that is
// empty or a lone line feed is dropped when dropEmpty is set, else kept as an empty string. An empty text
// gives no pieces.
std::vector<std::string> split(const std::string& text, const StringSearcher& searcher,
                               std::size_t maxPieces = unlimited, bool dropEmpty = true);

} // namespace StringTools
} // namespace VeltorCorelib
