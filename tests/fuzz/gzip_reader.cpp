// Hostile bytes as a gzip file read through the file objects: every outcome is data or one of the
// library's exceptions, never a crash, a leak or a hang. Also drives detection, history and skips.
#include "File.h"
#include "FuzzTarget.h"

#include <cstdio>
#include <filesystem>

using namespace VeltorFilelib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name =
        (std::filesystem::temp_directory_path() / "sorvik-fuzz-gzip-reader.gz").generic_string();
    if (std::FILE* out = std::fopen(name.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    try {
        File file(name);
        file.openRead();
        std::string line;
        for (unsigned step = 0; !file.isEof(); ++step) {
            if (step % 4 == 0) {
                file.readLine(line);
            } else if (step % 4 == 1) {
                file.readBytes(7);
                file.unread(5);
            } else if (step % 4 == 2) {
                file.moveBytePos(3);
            } else {
                file.readChar();
            }
        }
        file.close();
    } catch (const VeltorCorelib::Exception&) {
    }
    return 0;
}
