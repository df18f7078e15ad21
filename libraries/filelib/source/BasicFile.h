// The plain file implementation over the C runtime's buffered streams.
#pragma once
#include "FileBase.h"

#include <cstdio>

namespace VeltorFilelib {

class BasicFile : public FileBase {
public:
    BasicFile() = default;
    explicit BasicFile(const std::string& name);
    ~BasicFile() override;

    std::int64_t tell() override;
    void seek(std::int64_t position) override;
    void move(std::int64_t delta) override;
    void openReadPrimitive() override;
    void openWritePrimitive() override;
    void openAppendPrimitive() override;
    void openReadWritePrimitive(int kind) override;
    void closePrimitive() override;
    void readPrimitive(std::string& buffer) override;
    bool isEofPrimitive() override;
    void writePrimitive(const char* data, std::size_t count) override;
    void flushPrimitive() override;

private:
    // kind names the open in the failure text ("in", "out", "append", "read-write").
    void openStream(const char* streamMode, const char* kind, bool readable);
    // Reads one byte ahead and gives it back, so the end of the file is known before a read fails.
    void refreshEof();

    std::FILE* stream = nullptr;
    bool eof = false;
    bool readable = false;
};

} // namespace VeltorFilelib
