// The .reg reader on hostile bytes: it must never crash, read past the input or take quadratic time,
// and whatever it accepts must write back to a file that reads to the same registry.
#include "FuzzTarget.h"
#include "platform/RegistryFile.h"

using namespace VeltorPlatform::RegistryFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tree tree;
    unsigned line = 0;
    std::string reason;
    if (!parse(reinterpret_cast<const char*>(data), size, tree, line, reason)) {
        FUZZ_CHECK(line != 0 || size == 0); // every refusal of a non-empty file names a line
        FUZZ_CHECK(!reason.empty());
        return 0;
    }
    std::string written = serialise(tree);
    Tree again;
    FUZZ_CHECK(parse(written.data(), written.size(), again, line, reason));
    FUZZ_CHECK(serialise(again) == written);
    return 0;
}
