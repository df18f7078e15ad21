// The file implementation for gzip-compressed files. Positions are those of the uncompressed data; only
// forward positioning is possible, plus a short history so that recently read bytes can be given back.
#pragma once
#include "FileBase.h"

#include <cstdint>

struct gzFile_s; // zlib's gzip handle

namespace VeltorFilelib {

class ZFile : public FileBase {
public:
    static constexpr int HistorySize = 100;

    ZFile();
    explicit ZFile(const std::string& name);
    ~ZFile() override;

    std::int64_t tell() override;
    void seek(std::int64_t position) override;
    void move(std::int64_t delta) override;
    void openReadPrimitive() override;
    void openWritePrimitive() override;
    void openAppendPrimitive() override;
    void openReadWritePrimitive(int kind) override;
    void closePrimitive() override;
    void readPrimitive(std::string& buffer) override;
    // Gives back up to 99 bytes read since the last seek.
    void unread(std::uint32_t count) override;
    bool isEofPrimitive() override;
    void writePrimitive(const char* data, std::size_t count) override;
    void flushPrimitive() override;

private:
    void openStream(const char* streamMode, const char* kind, bool forReading);
    void resetHistory();
    bool historyPending() const { return history[historyRead] != -1; }
    // Takes the next byte given back earlier; only when historyPending().
    unsigned char takeFromHistory();
    void record(unsigned char byte);
    void refreshLookAhead();
    // Moves forward over given-back bytes, the look-ahead and then the stream.
    void skipForward(std::int64_t delta, const char* operation);
    void updateEof();
    [[noreturn]] void throwReadFailure();

    gzFile_s* stream = nullptr;
    bool eof = false;
    std::int64_t position = 0;
    std::int16_t history[HistorySize];
    std::int32_t historyRead = 0;
    std::int32_t historyWrite = 0;
    unsigned char lookAhead = 0;
    bool hasLookAhead = false;
    bool reading = false;
    bool streamEnded = false;
};

} // namespace VeltorFilelib
