// The path operations on any text: no reads past the end, no endless loops, stable results.
#include "FsTools.h"
#include "FuzzTarget.h"
#include "PathTools.h"

using VeltorFilelib::FsTools;
using VeltorFilelib::PathTools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzText(data, size);
    // '.' alone reads the current directory; everything else is pure string work or environment look-ups.
    std::string path = text;
    FsTools::normalize(path);
    std::string twice = path;
    FsTools::normalize(twice);
    // A relative path that resolves to nothing becomes "."; normalizing that reads the current directory.
    FUZZ_CHECK(path == "." || path == std::string(".") + FsTools::separator || twice == path);
    path = text;
    FsTools::expand(path);
    FsTools::stripSeparators(path);
    FsTools::isAbsolute(text);
    FsTools::extension(text);
    FsTools::isShortcut(text);
    FsTools::compareNoCase(text, path);
    path = text;
    FsTools::makeAbsolute(path, text);

    PathTools::components(text);
    PathTools::root(text);
    PathTools::isRoot(text);
    PathTools::dirName(text);
    PathTools::fileName(text);
    PathTools::expand(text);
    std::string name = text;
    PathTools::removeExtension(name);
    try {
        std::string contracted = PathTools::contract(text);
        FUZZ_CHECK(PathTools::contract(contracted) == contracted);
    } catch (const PathTools::Contract_InvalidPath&) {
    }
    return 0;
}
