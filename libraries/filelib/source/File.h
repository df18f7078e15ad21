// The file object applications create: it picks the implementation from the name (ZFile for the
// extension "gz", BasicFile otherwise) and forwards every operation to it. All state lives in the
// implementation, so use a File through its own type, not through a FileBase reference.
#pragma once
#include "FileBase.h"

#include <memory>

namespace VeltorFilelib {

class File : public FileBase {
public:
    VELTOR_ERROR_TYPE(SetName_AlreadySet);
    VELTOR_ERROR_TYPE(File_OutOfMemory);

    File() = default;
    explicit File(const std::string& name);
    ~File() override;

    std::string getName() const override;
    std::uint32_t getEncoding() const override;
    std::uint32_t getMode() const override;
    std::int64_t tell() override;
    std::uint32_t getLine() const override;
    std::uint32_t getPreviousLine() const override;
    // Creates the implementation; a File takes its name once, for good.
    void setName(const std::string& name) override;
    void setEncoding(std::uint32_t encoding) override;
    void seek(std::int64_t position) override;
    void move(std::int64_t delta) override;
    void openReadPrimitive() override;
    void openWritePrimitive() override;
    void openAppendPrimitive() override;
    void openReadWritePrimitive(int kind) override;
    void closePrimitive() override;
    void detectEncoding() override;
    void writeBom() override;
    std::uint32_t readChar() override;
    void readUntil(std::string& out, char delimiter) override;
    void readLine(std::string& out, char delimiter = '\n') override;
    void readPrimitive(std::string& buffer) override;
    void unread(std::uint32_t count) override;
    bool isEofPrimitive() override;
    void writeChars(const std::u32string& codes, char byte) override;
    void writeString(const std::string& text, char byte) override;
    void writeChars(const std::u32string& codes) override;
    void writeString(const std::string& text) override;
    void writeByte(char byte) override;
    void writeChar(std::uint32_t code) override;
    void writeCharsLine(const std::u32string& codes) override;
    void writeLine(const std::string& text) override;
    void flush() override;
    void writeBytes(const char* data, std::size_t count) override;
    void writePrimitive(const char* data, std::size_t count) override;
    void flushPrimitive() override;

    void openRead();
    void openWrite();
    void openAppend();
    void openReadWrite(int kind);
    void close();
    bool isEof();
    bool exists() const;
    std::int64_t size() const;
    void setBytePos(std::int64_t position);
    void moveBytePos(std::int64_t delta);
    unsigned char readByte();
    std::string readBytes(std::size_t count);
    std::string readString(std::size_t count);

    // The implementation, or null before a name was given.
    FileBase* implementation() const { return impl.get(); }

private:
    FileBase& reader() const;

    std::unique_ptr<FileBase> impl;
};

} // namespace VeltorFilelib
