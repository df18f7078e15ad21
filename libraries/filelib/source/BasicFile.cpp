#include "BasicFile.h"

#include <cerrno>
#include <cstring>

namespace VeltorFilelib {

namespace {

int seek64(std::FILE* stream, std::int64_t offset, int origin) {
#ifdef _WIN32
    const int result = _fseeki64(stream, offset, origin);
#else
    const int result = fseeko(stream, static_cast<off_t>(offset), origin);
#endif
    // Some runtimes leave the end-of-file indicator set after a 64-bit seek; a successful seek must
    // clear it or the end would be reported for a file that goes on.
    if (result == 0)
        std::clearerr(stream);
    return result;
}

std::int64_t tell64(std::FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<std::int64_t>(ftello(stream));
#endif
}

} // namespace

BasicFile::BasicFile(const std::string& name) {
    FileBase::setName(name);
}

BasicFile::~BasicFile() {
    closeQuietly();
}

std::int64_t BasicFile::tell() {
    return stream ? tell64(stream) : 0;
}

void BasicFile::refreshEof() {
    if (!stream || !readable)
        return;
    if (std::feof(stream)) {
        eof = true;
        return;
    }
    const int byte = std::fgetc(stream);
    eof = std::feof(stream) != 0;
    if (byte != EOF)
        seek64(stream, -1, SEEK_CUR);
    else if (!eof)
        std::clearerr(stream); // a read error shows up again on the real read
}

void BasicFile::seek(std::int64_t position) {
    const bool fromStart = position >= 0;
    if (!stream || seek64(stream, position, fromStart ? SEEK_SET : SEEK_END) != 0)
        VELTOR_THROW(SetBytePos_Failure, "@file.set-byte-pos.failure{Failed to set position = % (%)};",
                     position, std::string(fromStart ? "BasicFile::seek_set" : "BasicFile::seek_end"));
    eof = false;
    refreshEof();
}

void BasicFile::move(std::int64_t delta) {
    if (delta == 0)
        return;
    if (!stream || seek64(stream, delta, SEEK_CUR) != 0)
        VELTOR_THROW(SetBytePos_Failure, "@file.set-byte-pos.failure{Failed to set position = % (%)};", delta,
                     std::string("move"));
    eof = false;
    refreshEof();
}

void BasicFile::openStream(const char* streamMode, const char* kind, bool canRead) {
    std::FILE* opened = std::fopen(getName().c_str(), streamMode);
    if (!opened) {
        const int error = errno;
        const std::string reason =
            std::string(kind) + ", errno=" + std::to_string(error) + "=" + std::strerror(error);
        VELTOR_THROW(Open_Failure, "@file.open.failure{Failed to open \"%\" (%)};", getName(), reason);
    }
    stream = opened;
    eof = false;
    readable = canRead;
    refreshEof();
}

void BasicFile::openReadPrimitive() {
    openStream("rb", "in", true);
}

void BasicFile::openWritePrimitive() {
    openStream("wb", "out", false);
}

void BasicFile::openAppendPrimitive() {
    openStream("ab", "append", false);
}

void BasicFile::openReadWritePrimitive(int kind) {
    const char* streamMode = kind == ReadWrite_Truncate ? "w+b" : kind == ReadWrite_Append ? "a+b" : "r+b";
    openStream(streamMode, "read-write", true);
}

void BasicFile::closePrimitive() {
    if (!stream)
        return;
    // The stream is gone after fclose whatever it answers; keeping it would close it twice.
    std::FILE* closing = stream;
    stream = nullptr;
    eof = false;
    readable = false;
    if (std::fclose(closing) != 0)
        VELTOR_THROW(Close_Failure, "@file.close.failure{Failed to close open file \"%\"};", getName());
}

void BasicFile::readPrimitive(std::string& buffer) {
    if (!stream)
        VELTOR_THROW(Read_CannotRead,
                     "@file.read.cannot-read{Trying to read from file that is not opened for reading};");
    const std::size_t wanted = buffer.size();
    const std::size_t got = std::fread(&buffer[0], 1, wanted, stream);
    if (std::ferror(stream)) {
        std::clearerr(stream);
        VELTOR_THROW(Read_Failure, "@file.read.failure{Failed to read from file \"%\"};", getName());
    }
    if (got == 0) {
        eof = true;
        VELTOR_THROW(Read_EndOfFile, "@file.read.end-of-file{Trying to read past end of file};");
    }
    buffer.resize(got);
    if (got < wanted)
        eof = true;
    else
        refreshEof();
}

bool BasicFile::isEofPrimitive() {
    return eof;
}

void BasicFile::writePrimitive(const char* data, std::size_t count) {
    if (!stream || std::fwrite(data, 1, count, stream) < count)
        VELTOR_THROW(Write_Failure, "@file.write.failure{Failed to write to \"%\"};", getName());
}

void BasicFile::flushPrimitive() {
    // Buffered data that cannot be written is lost data, not a quiet success.
    if (stream && std::fflush(stream) != 0)
        VELTOR_THROW(Write_Failure, "@file.write.failure{Failed to write to \"%\"};", getName());
}

} // namespace VeltorFilelib
