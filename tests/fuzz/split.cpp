// Line splitting with any width, piece limit and text: every piece lies inside the text, and the loop ends.
#include "FuzzTarget.h"
#include "StringTools.h"

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    unsigned width = data[0] % 40;
    std::size_t maxPieces = data[1] % 8 == 0 ? StringTools::unlimited : data[1] % 8;
    std::string text = fuzzText(data + 2, size - 2);
    StringTools::LineSizeSearcher searcher(width);
    std::size_t total = 0;
    for (const std::string& piece : StringTools::split(text, searcher, maxPieces, (data[1] & 0x80) != 0)) {
        FUZZ_CHECK(width == 0 || maxPieces != StringTools::unlimited || piece.size() <= width + 1);
        total += piece.size();
    }
    FUZZ_CHECK(total <= text.size());

    WString wide(text.begin(), text.end());
    std::size_t end = 0, skip = 0;
    for (std::size_t start = 0;
         start < wide.size() && searcher.find(wide, start, wide.size() - start, end, skip);
         start = end + skip)
        FUZZ_CHECK(end + skip > start && end <= wide.size());
    return 0;
}
