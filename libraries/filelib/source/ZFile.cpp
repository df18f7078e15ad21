#include "ZFile.h"

#include <algorithm>
#include <limits>
#include <zlib.h>

namespace VeltorFilelib {

namespace {

// zlib counts in z_off_t (32 bits on Windows) and transfers at most INT_MAX bytes per call.
constexpr std::size_t chunkLimit = 1u << 30;

const char* const negativeMoveRecord = "@file.set-byte-pos.negative-move{Failed to set position = % because "
                                       "negative moves are not supported by %};";

bool fitsOffset(std::int64_t value) {
    return value >= static_cast<std::int64_t>(std::numeric_limits<z_off_t>::min()) &&
           value <= static_cast<std::int64_t>(std::numeric_limits<z_off_t>::max());
}

} // namespace

ZFile::ZFile() {
    resetHistory();
}

ZFile::ZFile(const std::string& name) : ZFile() {
    FileBase::setName(name);
}

ZFile::~ZFile() {
    closeQuietly();
}

void ZFile::resetHistory() {
    for (auto& slot : history)
        slot = -1;
    historyRead = 0;
    historyWrite = 0;
}

std::int64_t ZFile::tell() {
    return position;
}

void ZFile::throwReadFailure() {
    eof = true;
    VELTOR_THROW(Read_Failure, "@file.read.failure{Failed to read from file \"%\"};", getName());
}

void ZFile::updateEof() {
    eof = streamEnded && !hasLookAhead && !historyPending();
}

void ZFile::refreshLookAhead() {
    if (!stream || !reading)
        return;
    if (!hasLookAhead && !streamEnded) {
        if (gzeof(stream)) {
            streamEnded = true;
        } else {
            const int byte = gzgetc(stream);
            if (byte == -1) {
                int error = Z_OK;
                gzerror(stream, &error);
                // A corrupt or cut-off stream is an error, not a shorter file.
                if (error != Z_OK && error != Z_STREAM_END)
                    throwReadFailure();
                streamEnded = true;
            } else {
                lookAhead = static_cast<unsigned char>(byte);
                hasLookAhead = true;
            }
        }
    }
    updateEof();
}

unsigned char ZFile::takeFromHistory() {
    const unsigned char byte = static_cast<unsigned char>(history[historyRead]);
    historyRead = (historyRead + 1) % HistorySize;
    ++position;
    return byte;
}

void ZFile::record(unsigned char byte) {
    history[historyWrite] = byte;
    historyWrite = (historyWrite + 1) % HistorySize;
    history[historyWrite] = -1; // the oldest byte drops out; one slot always stays empty
    historyRead = historyWrite;
}

void ZFile::openStream(const char* streamMode, const char* kind, bool forReading) {
    gzFile opened = gzopen(getName().c_str(), streamMode);
    if (!opened)
        VELTOR_THROW(Open_Failure, "@file.open.failure{Failed to open \"%\" (%)};", getName(),
                     std::string(kind));
    stream = opened;
    reading = forReading;
    position = 0;
    eof = false;
    streamEnded = false;
    hasLookAhead = false;
    resetHistory();
    try {
        refreshLookAhead();
    } catch (...) {
        // The object stays closed, so it must not keep the handle.
        gzclose(stream);
        stream = nullptr;
        reading = false;
        throw;
    }
}

void ZFile::openReadPrimitive() {
    openStream("rb", "in", true);
}

void ZFile::openWritePrimitive() {
    openStream("wb", "out", false);
}

void ZFile::openAppendPrimitive() {
    VELTOR_THROW(Open_NotSupported,
                 "@file.open.not-supported{Trying to do a \"%\" on % - which does not support it};",
                 std::string("openAppend"), std::string("ZFile"));
}

void ZFile::openReadWritePrimitive(int) {
    VELTOR_THROW(Open_NotSupported,
                 "@file.open.not-supported{Trying to do a \"%\" on % - which does not support it};",
                 std::string("openReadWrite"), std::string("ZFile"));
}

void ZFile::closePrimitive() {
    if (!stream)
        return;
    gzFile closing = stream;
    stream = nullptr;
    reading = false;
    hasLookAhead = false;
    eof = false;
    if (gzclose(closing) != Z_OK)
        VELTOR_THROW(Close_Failure, "@file.close.failure{Failed to close open file \"%\"};", getName());
}

void ZFile::readPrimitive(std::string& buffer) {
    if (!stream || !reading)
        VELTOR_THROW(Read_CannotRead,
                     "@file.read.cannot-read{Trying to read from file that is not opened for reading};");
    const std::size_t wanted = buffer.size();
    std::size_t got = 0;
    while (got < wanted && historyPending())
        buffer[got++] = static_cast<char>(takeFromHistory());
    // Only bytes new to this object go into the history; bytes given back are already in it.
    const std::size_t fresh = got;
    if (got < wanted && hasLookAhead) {
        buffer[got++] = static_cast<char>(lookAhead);
        hasLookAhead = false;
        ++position;
    }
    while (got < wanted && !streamEnded) {
        const std::size_t part = std::min(wanted - got, chunkLimit);
        const int read = gzread(stream, &buffer[got], static_cast<unsigned>(part));
        if (read < 0)
            throwReadFailure();
        got += static_cast<std::size_t>(read);
        position += read;
        if (static_cast<std::size_t>(read) < part) {
            int error = Z_OK;
            gzerror(stream, &error);
            if (error != Z_OK && error != Z_STREAM_END)
                throwReadFailure();
            streamEnded = true;
        }
    }
    for (std::size_t i = fresh; i < got; ++i)
        record(static_cast<unsigned char>(buffer[i]));
    buffer.resize(got);
    refreshLookAhead();
    if (got == 0) {
        eof = true;
        VELTOR_THROW(Read_EndOfFile, "@file.read.end-of-file{Trying to read past end of file};");
    }
}

void ZFile::unread(std::uint32_t count) {
    if (count == 0)
        return;
    // Count first: a partial give-back would leave the position and the bytes out of step.
    std::uint32_t available = 0;
    for (std::int32_t slot = historyRead; available < count;) {
        const std::int32_t previous = (slot + HistorySize - 1) % HistorySize;
        if (previous == historyWrite || history[previous] == -1)
            break;
        slot = previous;
        ++available;
    }
    if (available < count)
        VELTOR_THROW(SetBytePos_NegativeMove, negativeMoveRecord, -static_cast<std::int64_t>(count),
                     std::string("ZFile"));
    historyRead = (historyRead + HistorySize - static_cast<std::int32_t>(count) % HistorySize) % HistorySize;
    position -= count;
    eof = false;
}

bool ZFile::isEofPrimitive() {
    return eof;
}

void ZFile::skipForward(std::int64_t delta, const char* operation) {
    if (reading) {
        while (delta > 0 && historyPending()) {
            takeFromHistory();
            --delta;
        }
        if (delta > 0 && hasLookAhead) {
            hasLookAhead = false;
            ++position;
            --delta;
        }
    }
    if (delta > 0) {
        const z_off_t result = fitsOffset(delta) ? gzseek(stream, static_cast<z_off_t>(delta), SEEK_CUR) : -1;
        if (result == -1)
            VELTOR_THROW(SetBytePos_Failure, "@file.set-byte-pos.failure{Failed to set position = % (%)};",
                         delta, std::string(operation));
        position = result;
        streamEnded = false;
        // Bytes before a jump are no longer adjacent to the position; they cannot be given back.
        resetHistory();
    }
    refreshLookAhead();
    if (!reading)
        eof = false;
}

void ZFile::seek(std::int64_t target) {
    if (target < 0 || target < position)
        VELTOR_THROW(SetBytePos_NegativeMove, negativeMoveRecord, target, std::string("ZFile"));
    if (!stream)
        VELTOR_THROW(SetBytePos_Failure, "@file.set-byte-pos.failure{Failed to set position = % (%)};",
                     target, std::string("ZFile::seek_set"));
    // Relative to the kept position, so bytes given back or held ahead are honoured and the stream is
    // never rewound.
    skipForward(target - position, "ZFile::seek_set");
    if (!historyPending())
        resetHistory();
}

void ZFile::move(std::int64_t delta) {
    if (delta == 0)
        return;
    if (delta < 0)
        VELTOR_THROW(SetBytePos_NegativeMove, negativeMoveRecord, delta, std::string("ZFile"));
    if (!stream)
        VELTOR_THROW(SetBytePos_Failure, "@file.set-byte-pos.failure{Failed to set position = % (%)};", delta,
                     std::string("ZFile::seek_cur"));
    skipForward(delta, "ZFile::seek_cur");
}

void ZFile::writePrimitive(const char* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const std::size_t part = std::min(count - done, chunkLimit);
        const int written = stream ? gzwrite(stream, data + done, static_cast<unsigned>(part)) : 0;
        if (written <= 0 || static_cast<std::size_t>(written) != part)
            VELTOR_THROW(Write_Failure, "@file.write.failure{Failed to write to \"%\"};", getName());
        done += part;
        position += written;
    }
}

void ZFile::flushPrimitive() {
    if (stream && gzflush(stream, Z_FINISH) != Z_OK)
        VELTOR_THROW(Write_Failure, "@file.write.failure{Failed to write to \"%\"};", getName());
}

} // namespace VeltorFilelib
