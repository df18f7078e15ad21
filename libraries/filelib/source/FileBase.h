// Stream-like file objects: FileBase owns the name, open state, positions, line counter and text
// encoding; the implementations (BasicFile, ZFile) supply the primitives.
#pragma once
#include "Exception.h"
#include "Unicode.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace VeltorFilelib {

class FileBase {
public:
    VELTOR_ERROR_TYPE(Open_FileMustExist);
    VELTOR_ERROR_TYPE(Open_Failure);
    VELTOR_ERROR_TYPE(Open_NotSupported);
    VELTOR_ERROR_TYPE(Close_Failure);
    VELTOR_ERROR_TYPE(Read_CannotRead);
    VELTOR_ERROR_TYPE(Read_EndOfFile);
    VELTOR_ERROR_TYPE(Read_Failure);
    VELTOR_ERROR_TYPE(Read_OutOfMemory);
    VELTOR_ERROR_TYPE(Write_CannotWrite);
    VELTOR_ERROR_TYPE(Write_Failure);
    VELTOR_ERROR_TYPE(SetBytePos_FileClosed);
    VELTOR_ERROR_TYPE(SetBytePos_Failure);
    VELTOR_ERROR_TYPE(SetBytePos_NegativeMove);
    VELTOR_ERROR_TYPE(SetEncoding_FileOpen);
    VELTOR_ERROR_TYPE(SetName_FileOpen);

    enum Mode : std::uint32_t { Mode_Open = 1, Mode_Read = 2, Mode_Write = 4, Mode_Append = 8 };
    enum Operation : std::int32_t { Operation_None = 0, Operation_Read = 1, Operation_Write = 2 };
    enum ReadWriteKind : int { ReadWrite_Existing = 0, ReadWrite_Truncate = 1, ReadWrite_Append = 2 };

    FileBase() = default;
    FileBase(const FileBase&) = delete;
    FileBase& operator=(const FileBase&) = delete;

    virtual ~FileBase();
    virtual std::string getName() const;
    virtual std::uint32_t getEncoding() const;
    virtual std::uint32_t getMode() const;
    virtual std::int64_t tell() = 0;
    virtual std::uint32_t getLine() const;
    virtual std::uint32_t getPreviousLine() const;
    virtual void setName(const std::string& newName);
    virtual void setEncoding(std::uint32_t newEncoding);
    // Absolute position; a negative one counts from the end.
    virtual void seek(std::int64_t position) = 0;
    virtual void move(std::int64_t delta) = 0;
    virtual void openReadPrimitive() = 0;
    virtual void openWritePrimitive() = 0;
    virtual void openAppendPrimitive() = 0;
    virtual void openReadWritePrimitive(int kind) = 0;
    virtual void closePrimitive() = 0;
    virtual void detectEncoding();
    virtual void writeBom();
    // One character in the file's encoding, as a code point.
    virtual std::uint32_t readChar();
    // Appends bytes up to and including the delimiter, or to the end of the file.
    virtual void readUntil(std::string& out, char delimiter);
    // Throws Read_EndOfFile at the end; otherwise empties out and reads until the delimiter (kept).
    virtual void readLine(std::string& out, char delimiter = '\n');
    // Reads up to buffer.size() bytes and shrinks the buffer to the count read.
    virtual void readPrimitive(std::string& buffer) = 0;
    virtual void unread(std::uint32_t count);
    virtual bool isEofPrimitive() = 0;
    virtual void writeChars(const std::u32string& codes, char byte);
    virtual void writeString(const std::string& text, char byte);
    virtual void writeChars(const std::u32string& codes);
    virtual void writeString(const std::string& text);
    virtual void writeByte(char byte);
    virtual void writeChar(std::uint32_t code);
    virtual void writeCharsLine(const std::u32string& codes);
    virtual void writeLine(const std::string& text);
    virtual void flush();
    virtual void writeBytes(const char* data, std::size_t count);
    virtual void writePrimitive(const char* data, std::size_t count) = 0;
    virtual void flushPrimitive() = 0;

    void openRead();
    void openWrite();
    void openAppend();
    void openReadWrite(int kind);
    void close();
    bool isEof();
    // The name is non-empty and the file system knows it (file or directory).
    bool exists() const;
    // Size in bytes as the file system reports it; 0 when it cannot be had.
    std::int64_t size() const;
    void setBytePos(std::int64_t position);
    void moveBytePos(std::int64_t delta);
    unsigned char readByte();
    std::string readBytes(std::size_t count);
    std::string readString(std::size_t count);

protected:
    bool isOpen() const { return (mode & Mode_Open) != 0; }
    bool isReadable() const { return (mode & Mode_Read) != 0; }
    bool isWritable() const { return (mode & (Mode_Write | Mode_Append)) != 0; }
    // Called by the implementations' destructors: closes without throwing.
    void closeQuietly() noexcept;

private:
    void beginOpen();
    // seek or move, then both positions follow the stream.
    void reposition(void (FileBase::*step)(std::int64_t), std::int64_t value);
    void finishOpen(std::uint32_t newMode);

    std::string name;
    std::uint32_t encoding = VeltorCorelib::Unicode::Encoding_Unknown;
    bool bomWritten = false;
    std::uint32_t mode = 0;
    std::uint32_t line = 0;
    std::uint32_t previousLine = 0;
    std::int32_t lastOperation = Operation_None;
    std::int64_t readPosition = 0;
    std::int64_t writePosition = 0;
};

} // namespace VeltorFilelib
