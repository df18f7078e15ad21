// The UTF-8 and UTF-16 decoders on hostile bytes. Every accepted character must encode back to exactly the
// bytes it came from, so no overlong form, surrogate or value beyond U+10FFFF gets through; and every valid
// code point taken from the input must encode to bytes that decode back to it, so none is refused.
#include "Unicode.h"
#include "FuzzTarget.h"

#include <cstring>

using VeltorCorelib::Unicode;

namespace {

// `bytes` is the fuzzer's own buffer of exactly `size` bytes: a read past its end is the sanitizer's.
template <typename Decode, typename Encode>
void check(const char* bytes, std::size_t size, std::uint32_t valid, Decode decode, Encode encode) {
    const char* cursor = bytes;
    try {
        const std::uint32_t code = decode(&cursor, size);
        FUZZ_CHECK(encode(code) == std::string(bytes, static_cast<std::size_t>(cursor - bytes)));
    } catch (const Unicode::Unicode_Invalid&) {
    }
    const std::string encoded = encode(valid);
    cursor = encoded.data();
    FUZZ_CHECK(decode(&cursor, encoded.size()) == valid && cursor == encoded.data() + encoded.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::uint32_t valid = 0;
    std::memcpy(&valid, data, size < sizeof valid ? size : sizeof valid);
    valid %= 0x110000;
    if (valid >= 0xD800 && valid <= 0xDFFF)
        valid -= 0x800;
    check(bytes, size, valid, Unicode::decodeUtf8, Unicode::codeToUtf8);
    check(bytes, size, valid, Unicode::decodeUtf16le, Unicode::codeToUtf16le);
    check(bytes, size, valid, Unicode::decodeUtf16be, Unicode::codeToUtf16be);
    return 0;
}
