// Whole-file reading and writing of FileTools, built on the file objects.
#include "File.h"
#include "FileTools.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace VeltorFilelib {

namespace {

const char* const emptyParameterRecord = "@file.empty-parameter{Parameter \"%\" must not be empty (%)};";

} // namespace

std::string FileTools::fileToString(const std::string& path) {
    if (!isFile(path))
        VELTOR_THROW(NoSuchFile, "@file.no-such-file{Trying to access \"%\", but no such file (%)};", path,
                     std::string("fileToString"));
    File file(path);
    // Every byte of the file, a leading byte-order mark included.
    file.setEncoding(VeltorCorelib::Unicode::Encoding_Bytes);
    file.openRead();
    // Read to the end rather than to the size on disk: a gzip file holds more than its size, and a file
    // that grows or shrinks meanwhile must neither be cut nor fail.
    const std::int64_t onDisk = file.size();
    const std::int64_t wanted = std::min<std::int64_t>(std::max<std::int64_t>(onDisk + 1, 65536), 1 << 24);
    const std::size_t chunk = static_cast<std::size_t>(wanted);
    std::string content;
    while (!file.isEof())
        content += file.readBytes(chunk);
    file.close();
    return content;
}

void FileTools::stringToFile(const std::string& data, const std::string& path, unsigned flags) {
    if (data.empty())
        VELTOR_THROW(TargetExists, emptyParameterRecord, std::string("data"), std::string("stringToFile"));
    if (path.empty())
        VELTOR_THROW(TargetExists, emptyParameterRecord, std::string("path"), std::string("stringToFile"));
    if (exists(path) && (flags & ReplaceExisting) == 0)
        VELTOR_THROW(TargetExists, "@file.target-exists{\"%\" must not exists prior to operation (%)};", path,
                     std::string("stringToFile"));
    // An existing file is never truncated in place: the new content is complete under a free numbered
    // name before it replaces the old file.
    const std::string target = nextEnumeration(path, 4);
    try {
        File file(target);
        file.openWrite();
        file.writeString(data);
        file.close();
    } catch (...) {
        // Half-written output never stays behind (the target name was free before).
        VeltorPlatform::deleteFile(target);
        throw;
    }
    if (target != path) {
        try {
            rename(target, path, ~0u);
        } catch (...) {
            VeltorPlatform::deleteFile(target);
            throw;
        }
    }
}

} // namespace VeltorFilelib
