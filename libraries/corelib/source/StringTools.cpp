#include "StringTools.h"

#include <algorithm>

namespace VeltorCorelib {
namespace StringTools {

namespace {

// The first seven break characters are white space.
const char kBreaks[] = " \r\n\t\v\b\f-/.,:;&+*%";
const std::size_t kWhitespaceCount = 7;

template <typename S>
bool findPiece(const S& text, std::size_t start, std::size_t length, unsigned width, const S& breaks,
               std::size_t& pieceEnd, std::size_t& skip) {
    if (start >= text.size() || width == 0)
        return false;
    // A caller that claims more than is there is held to the text's real end.
    length = std::min(length, text.size() - start);
    std::size_t take = std::min<std::size_t>(width, length);

    if (text[start] == '\n') {
        pieceEnd = start + 1;
        skip = 0;
        return true;
    }
    std::size_t lineFeed = start;
    while (lineFeed < start + take && text[lineFeed] != '\n')
        ++lineFeed;
    if (take == length) {
        // The rest fits: it ends at its first line feed (which is skipped) or at its end.
        pieceEnd = lineFeed;
        skip = 1;
        return true;
    }
    // Too long: break at the last break character at or before the line feed or the width.
    for (std::size_t q = lineFeed; q > start; --q) {
        std::size_t kind = breaks.find(text[q]);
        if (kind == S::npos)
            continue;
        if (kind < kWhitespaceCount) {
            pieceEnd = q;
            skip = 1;
        } else {
            pieceEnd = q + 1;
            skip = 0;
        }
        return true;
    }
    pieceEnd = start + take;
    skip = 0;
    return true;
}

template <typename S> bool isLoneLineFeedOrEmpty(const S& piece) {
    return piece.empty() || (piece.size() == 1 && piece[0] == '\n');
}

} // namespace

LineSizeSearcher::LineSizeSearcher(unsigned width) : width(width), breaks(kBreaks) {
    for (char c : breaks)
        wideBreaks.push_back(static_cast<char16_t>(c));
}

bool LineSizeSearcher::find(const WString& text, std::size_t start, std::size_t length, std::size_t& pieceEnd,
                            std::size_t& skip) const {
    return findPiece(text, start, length, width, wideBreaks, pieceEnd, skip);
}

bool LineSizeSearcher::find(const std::string& text, std::size_t start, std::size_t length,
                            std::size_t& pieceEnd, std::size_t& skip) const {
    return findPiece(text, start, length, width, breaks, pieceEnd, skip);
}

std::vector<std::string> split(const std::string& text, const StringSearcher& searcher, std::size_t maxPieces,
                               bool dropEmpty) {
    std::vector<std::string> pieces;
    std::size_t position = 0;
    bool reachedEnd = text.empty();
    while (!reachedEnd && (maxPieces == 0 || pieces.size() + 1 < maxPieces)) {
        std::size_t pieceEnd = text.size();
        std::size_t skip = 0;
        // Not found, or an answer that would not move forward, means the piece runs to the end.
        if (!searcher.find(text, position, text.size() - position, pieceEnd, skip) ||
            pieceEnd > text.size() || pieceEnd < position || pieceEnd + skip <= position) {
            pieceEnd = text.size();
            skip = 0;
        }
        std::string piece = text.substr(position, pieceEnd - position);
        if (!isLoneLineFeedOrEmpty(piece))
            pieces.push_back(piece);
        else if (!dropEmpty)
            pieces.emplace_back();
        reachedEnd = pieceEnd >= text.size();
        position = std::min(text.size(), pieceEnd + skip);
    }
    if (!reachedEnd)
        pieces.push_back(text.substr(position));
    return pieces;
}

} // namespace StringTools
} // namespace VeltorCorelib
