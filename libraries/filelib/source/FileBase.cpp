#include "FileBase.h"

#include "PathTools.h"

#include "platform/FileSystem.h"

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace VeltorFilelib {

using VeltorCorelib::Unicode;

namespace {

// The stored form of a file name: fully normalised. A name holding a short-name marker ('~') whose
// file does not exist yet has no long form; it is kept in its short form so such files can be created.
std::string normalizedName(const std::string& name) {
    try {
        return PathTools::normalize(name, PathTools::Normalize_Collapse | PathTools::Normalize_Contract |
                                              PathTools::Normalize_Expand |
                                              PathTools::Normalize_ResolveLinks |
                                              PathTools::Normalize_LongPath);
    } catch (const PathTools::LongPath_NoSuchPath&) {
        return PathTools::normalize(name, PathTools::Normalize_Contract | PathTools::Normalize_Expand |
                                              PathTools::Normalize_ResolveLinks);
    }
}

// File status of a name: whether it exists and, for a file, its size.
bool fileStatus(const std::string& name, std::int64_t& size) {
    size = 0;
    VeltorPlatform::FileStatus status;
    if (name.empty() ||
        VeltorPlatform::getFileStatus(name, status) != VeltorPlatform::FileSystemError::Success)
        return false;
    if (!status.isDirectory)
        size = static_cast<std::int64_t>(status.size);
    return true;
}

} // namespace

FileBase::~FileBase() = default;

std::string FileBase::getName() const {
    return name;
}

std::uint32_t FileBase::getEncoding() const {
    return encoding;
}

std::uint32_t FileBase::getMode() const {
    return mode;
}

std::uint32_t FileBase::getLine() const {
    return line;
}

std::uint32_t FileBase::getPreviousLine() const {
    return previousLine;
}

void FileBase::setName(const std::string& newName) {
    if (isOpen())
        VELTOR_THROW(
            SetName_FileOpen,
            "@file.set-name.file-open{Trying to change file name from \"%\" to \"%\" while file is open};",
            name, newName);
    name = normalizedName(newName);
}

void FileBase::setEncoding(std::uint32_t newEncoding) {
    if (isOpen())
        VELTOR_THROW(SetEncoding_FileOpen, "@file.set-encoding.file-open{Trying to set explicit file "
                                           "encoding after the file has been opened};");
    encoding = newEncoding;
}

void FileBase::beginOpen() {
    // A second open on an open object would leak its stream; close it first.
    if (isOpen())
        close();
    line = 0;
    previousLine = 0;
}

void FileBase::finishOpen(std::uint32_t newMode) {
    mode = newMode;
    lastOperation = Operation_None;
    readPosition = 0;
    writePosition = 0;
}

void FileBase::openRead() {
    beginOpen();
    if (!exists())
        VELTOR_THROW(Open_FileMustExist,
                     "@file.open.file-must-exist{Trying to open non-existing file \"%\"};", name);
    openReadPrimitive();
    finishOpen(Mode_Open | Mode_Read);
    detectEncoding();
}

void FileBase::openWrite() {
    beginOpen();
    openWritePrimitive();
    // The file was emptied, so an earlier mark is gone with it.
    bomWritten = false;
    finishOpen(Mode_Open | Mode_Write);
    writeBom();
}

void FileBase::openAppend() {
    beginOpen();
    openAppendPrimitive();
    finishOpen(Mode_Open | Mode_Append);
    if (size() == 0)
        writeBom();
}

void FileBase::openReadWrite(int kind) {
    beginOpen();
    openReadWritePrimitive(kind);
    if (kind == ReadWrite_Truncate) {
        bomWritten = false;
        finishOpen(Mode_Open | Mode_Read | Mode_Write);
        if (size() == 0)
            writeBom();
    } else {
        finishOpen(kind == ReadWrite_Append ? Mode_Open | Mode_Read | Mode_Append
                                            : Mode_Open | Mode_Read | Mode_Write);
        detectEncoding();
    }
}

void FileBase::close() {
    if (!isOpen())
        return;
    // The implementation has let go of its stream even when closing failed (the C runtime frees it
    // either way), so the object is closed whatever happens.
    struct Reset {
        FileBase& file;
        ~Reset() {
            file.mode = 0;
            file.line = 0;
            file.previousLine = 0;
            file.lastOperation = Operation_None;
        }
    } reset{*this};
    closePrimitive();
}

void FileBase::closeQuietly() noexcept {
    try {
        close();
    } catch (...) {
        // Destructors cannot report; the stream is released regardless.
    }
}

bool FileBase::isEof() {
    return isEofPrimitive();
}

bool FileBase::exists() const {
    std::int64_t ignored;
    return fileStatus(name, ignored);
}

std::int64_t FileBase::size() const {
    std::int64_t bytes;
    fileStatus(name, bytes);
    return bytes;
}

void FileBase::setBytePos(std::int64_t position) {
    reposition(&FileBase::seek, position);
}

void FileBase::moveBytePos(std::int64_t delta) {
    reposition(&FileBase::move, delta);
}

void FileBase::reposition(void (FileBase::*step)(std::int64_t), std::int64_t value) {
    if (!isOpen())
        VELTOR_THROW(
            SetBytePos_FileClosed,
            "@file.set-byte-pos.file-closed{Trying to change file position on file that is not open};");
    (this->*step)(value);
    if (isReadable())
        readPosition = tell();
    if (isWritable())
        writePosition = tell();
}

std::string FileBase::readBytes(std::size_t count) {
    if (!isReadable())
        VELTOR_THROW(Read_CannotRead,
                     "@file.read.cannot-read{Trying to read from file that is not opened for reading};");
    std::string buffer;
    try {
        buffer.resize(count);
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(Read_OutOfMemory);
    } catch (const std::length_error&) {
        VELTOR_THROW_OOM(Read_OutOfMemory);
    }
    if (count == 0)
        return buffer;
    if (lastOperation == Operation_Write)
        seek((mode & Mode_Append) ? readPosition : writePosition);
    readPrimitive(buffer);
    lastOperation = Operation_Read;
    readPosition = tell();
    return buffer;
}

unsigned char FileBase::readByte() {
    const std::string byte = readBytes(1);
    previousLine = line;
    if (byte[0] == '\n')
        ++line;
    return static_cast<unsigned char>(byte[0]);
}

std::string FileBase::readString(std::size_t count) {
    if (isEof())
        VELTOR_THROW(Read_EndOfFile, "@file.read.end-of-file{Trying to read past end of file};");
    return readBytes(count);
}

void FileBase::readUntil(std::string& out, char delimiter) {
    while (!isEof()) {
        const char byte = static_cast<char>(readByte());
        out += byte;
        if (byte == delimiter)
            break;
    }
}

void FileBase::readLine(std::string& out, char delimiter) {
    if (isEof())
        VELTOR_THROW(Read_EndOfFile, "@file.read.end-of-file{Trying to read past end of file};");
    out.clear();
    readUntil(out, delimiter);
}

void FileBase::unread(std::uint32_t count) {
    move(-static_cast<std::int64_t>(count));
    if (isReadable())
        readPosition = tell();
}

void FileBase::detectEncoding() {
    if (encoding != Unicode::Encoding_Unknown || !isReadable())
        return;
    // Bytes given back are read again later, so they must not count as lines now.
    const std::uint32_t savedLine = line;
    const std::uint32_t savedPreviousLine = previousLine;
    std::string bytes;
    while (!isEof()) {
        try {
            bytes += static_cast<char>(readByte());
        } catch (const Read_EndOfFile&) {
            break;
        }
        const auto candidates = Unicode::bomCandidates(bytes);
        if (candidates.empty()) {
            encoding = Unicode::Encoding_Bytes;
            break;
        }
        if (candidates.size() == 1 && candidates[0].first.size() == bytes.size()) {
            encoding = candidates[0].second;
            return;
        }
    }
    if (!bytes.empty())
        unread(static_cast<std::uint32_t>(bytes.size()));
    readPosition = tell();
    line = savedLine;
    previousLine = savedPreviousLine;
}

void FileBase::writeBom() {
    if (bomWritten || encoding == Unicode::Encoding_Unknown || !isWritable())
        return;
    const std::string mark = Unicode::bomFor(encoding);
    if (!mark.empty())
        writeBytes(mark.data(), mark.size());
    bomWritten = true;
}

std::uint32_t FileBase::readChar() {
    std::string bytes;
    switch (encoding) {
    case Unicode::Encoding_Utf8: {
        bytes += static_cast<char>(readByte());
        const unsigned announced = Unicode::utf8Length(static_cast<unsigned char>(bytes[0]));
        // A sequence cut short by the end of the file is left to the decoder to refuse.
        while (bytes.size() < announced && !isEof())
            bytes += static_cast<char>(readByte());
        return Unicode::utf8ToCode(bytes);
    }
    case Unicode::Encoding_Utf16le:
    case Unicode::Encoding_Utf16be: {
        const bool little = encoding == Unicode::Encoding_Utf16le;
        auto readUnitBytes = [&] {
            bytes += static_cast<char>(readByte());
            if (!isEof())
                bytes += static_cast<char>(readByte());
        };
        readUnitBytes();
        if (bytes.size() == 2) {
            const unsigned char high = static_cast<unsigned char>(little ? bytes[1] : bytes[0]);
            if (high >= 0xD8 && high <= 0xDB && !isEof())
                readUnitBytes();
        }
        return little ? Unicode::utf16leToCode(bytes) : Unicode::utf16beToCode(bytes);
    }
    default: {
        const char byte = static_cast<char>(readByte());
        wchar_t wide = 0;
        std::mbtowc(nullptr, nullptr, 0);
        const int used = std::mbtowc(&wide, &byte, 1);
        return used > 0 ? static_cast<std::uint16_t>(wide) : 0;
    }
    }
}

void FileBase::writeChar(std::uint32_t code) {
    std::string bytes;
    switch (encoding) {
    case Unicode::Encoding_Utf8:
        bytes = Unicode::codeToUtf8(code);
        break;
    case Unicode::Encoding_Utf16le:
        bytes = Unicode::codeToUtf16le(code);
        break;
    case Unicode::Encoding_Utf16be:
        bytes = Unicode::codeToUtf16be(code);
        break;
    default:
        bytes = "#" + std::to_string(code);
        break;
    }
    if (!bytes.empty())
        writeBytes(bytes.data(), bytes.size());
}

void FileBase::writeChars(const std::u32string& codes, char byte) {
    writeChars(codes);
    writeByte(byte);
}

void FileBase::writeString(const std::string& text, char byte) {
    writeString(text);
    writeByte(byte);
}

void FileBase::writeChars(const std::u32string& codes) {
    for (char32_t code : codes)
        writeChar(static_cast<std::uint32_t>(code));
}

void FileBase::writeString(const std::string& text) {
    writeBytes(text.data(), text.size());
}

void FileBase::writeByte(char byte) {
    writeBytes(&byte, 1);
}

void FileBase::writeCharsLine(const std::u32string& codes) {
    writeChars(codes);
    writeChar('\n');
}

void FileBase::writeLine(const std::string& text) {
    writeString(text);
    writeByte('\n');
}

void FileBase::flush() {
    if (!isWritable())
        VELTOR_THROW(Write_CannotWrite,
                     "@file.write.cannot-write{Trying to write to file that is not opened for writing};");
    flushPrimitive();
}

void FileBase::writeBytes(const char* data, std::size_t count) {
    if (!isWritable())
        VELTOR_THROW(Write_CannotWrite,
                     "@file.write.cannot-write{Trying to write to file that is not opened for writing};");
    if (lastOperation == Operation_Read)
        seek((mode & Mode_Append) ? writePosition : readPosition);
    if (count > 0)
        writePrimitive(data, count);
    lastOperation = Operation_Write;
    writePosition = tell();
}

} // namespace VeltorFilelib
