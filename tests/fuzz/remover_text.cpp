// The text pieces of the removal engine (rule lines, date ranges, web-session files, lock owners): the
// quick piece lookups must agree with the plain split, and integer reading with the standard one.
#include "FuzzTarget.h"
#include "OldFilesRemover.h"
#include "OldFilesRemoverText.h"

#include <charconv>
#include <limits>
#include <string_view>

using namespace Veltor::RemoverText;

namespace {

// Digits after an optional '-', saturated at the 64-bit limits; anything else reads as 0.
std::int64_t referenceInteger(std::string_view text) {
    std::int64_t value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc::result_out_of_range)
        return text[0] == '-' ? std::numeric_limits<std::int64_t>::min()
                              : std::numeric_limits<std::int64_t>::max();
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzText(data, size);

    // Rule line: four comma-separated fields, trimmed and read as integers.
    std::vector<std::string> fields = split(text, ",");
    FUZZ_CHECK(fields.size() == countPieces(text, ','));
    for (const std::string& field : fields)
        FUZZ_CHECK(readInteger(trim(field)) == referenceInteger(trim(field)));

    // Web-session text: the fourth piece between '=' and '>' characters.
    std::vector<std::string> pieces = split(text, "=>");
    for (std::size_t index = 0; index < 6; ++index) {
        std::string_view found;
        bool has = piece(text, "=>", index, found);
        FUZZ_CHECK(has == (index < pieces.size()) && (!has || found == pieces[index]));
    }

    // Date ranges and dated log names never misbehave on any text.
    Veltor::OldFilesRemover::isValidDate(text);
    Veltor::OldFilesRemover::isDatedLogName(text);
    std::string owner = withoutExtension(text);
    FUZZ_CHECK(owner.size() <= text.size() && text.compare(0, owner.size(), owner) == 0);
    return 0;
}
