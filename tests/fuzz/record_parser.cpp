// The message record parser and the human and raw forms of exceptions built from hostile texts.
#include "Exception.h"
#include "FuzzTarget.h"

using namespace VeltorCorelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string message = fuzzText(data, size);
    std::string text = extractMessageText(message);
    FUZZ_CHECK(text.size() <= message.size() * 2);

    std::size_t half = size / 2;
    Exception inner(message.substr(0, half), makeSourceRecord(message.c_str(), static_cast<unsigned>(size)),
                    makeParams(message.substr(half), static_cast<std::int32_t>(size)));
    Exception outer(makeSourceRecord("", 1), inner);
    Exception copy(outer);
    copy.getText(true);
    copy.getText(false);
    copy.getRawText();
    return 0;
}
