// The .reg reader on hostile bytes: it must never crash, read past the input or take quadratic time,
// and whatever it accepts must write back to a file that reads to the same registry.
#include "platform/RegistryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace VeltorPlatform::RegistryFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tree tree;
    unsigned line = 0;
    std::string reason;
    if (!parse(reinterpret_cast<const char*>(data), size, tree, line, reason)) {
        if (line == 0 && size != 0)
            std::abort(); // every refusal of a non-empty file names a line
        if (reason.empty())
            std::abort();
        return 0;
    }
    std::string written = serialise(tree);
    Tree again;
    if (!parse(written.data(), written.size(), again, line, reason))
        std::abort();
    if (serialise(again) != written)
        std::abort();
    return 0;
}
