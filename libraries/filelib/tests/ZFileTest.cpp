#include "ZFile.h"
#include "File.h"
#include "FileTestDir.h"

using namespace VeltorFilelib;

namespace {

// Text with enough variety that it does not compress to nothing.
std::string sampleText(std::size_t size, unsigned seed) {
    std::string out;
    out.reserve(size);
    unsigned state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        out += static_cast<char>(' ' + (state >> 16) % 90);
        if ((state >> 8) % 61 == 0)
            out += '\n';
    }
    out.resize(size);
    return out;
}

void writeGzip(const std::string& name, const std::string& content) {
    File file(name);
    file.openWrite();
    file.writeString(content);
    file.flush();
    file.close();
}

std::string readAll(File& file) {
    std::string out;
    while (!file.isEof())
        out += file.readBytes(65536);
    return out;
}

} // namespace

class ZFileObject : public FileTestDir {};

TEST_F(ZFileObject, ForwardPositioningAndHistory) {
    const std::string name = portable("pos.gz");
    const std::string content = sampleText(5000, 3);
    writeGzip(name, content);
    File file(name);
    file.openRead();
    EXPECT_EQ(file.readBytes(10), content.substr(0, 10));
    file.setBytePos(10); // the current position is allowed
    EXPECT_THROW(file.setBytePos(9), FileBase::SetBytePos_NegativeMove);
    file.setBytePos(100);
    EXPECT_EQ(file.readBytes(5), content.substr(100, 5));

    // Giving back: up to 99 recent bytes; moves skip given-back bytes first.
    EXPECT_EQ(file.readBytes(150), content.substr(105, 150));
    file.unread(99);
    EXPECT_EQ(file.readBytes(3), content.substr(156, 3));
    file.moveBytePos(2);
    EXPECT_EQ(file.readBytes(3), content.substr(161, 3));
    file.moveBytePos(1000);
    EXPECT_EQ(file.readBytes(4), content.substr(1164, 4));
    file.unread(4);
    EXPECT_THROW(file.unread(1), FileBase::SetBytePos_NegativeMove);
    EXPECT_EQ(file.tell(), 1164);
    file.setBytePos(1165);
    EXPECT_EQ(file.readBytes(2), content.substr(1165, 2));
    file.setBytePos(4999);
    EXPECT_EQ(file.readBytes(10), content.substr(4999));
    EXPECT_TRUE(file.isEof());
    EXPECT_THROW(file.readByte(), FileBase::Read_EndOfFile);
}

TEST_F(ZFileObject, UnsupportedOpensAndDamagedStreams) {
    const std::string name = portable("data.gz");
    const std::string content = sampleText(400000, 11);
    writeGzip(name, content);
    File file(name);
    EXPECT_THROW(file.openAppend(), FileBase::Open_NotSupported);
    EXPECT_THROW(file.openReadWrite(0), FileBase::Open_NotSupported);
    EXPECT_EQ(file.getMode(), 0u);

    // Cut off, damaged in the middle, or only its checksum wrong: an error naming the file, never a
    // shorter or different content.
    const std::string stored = read("data.gz");
    std::string corrupt = stored;
    for (std::size_t i = stored.size() / 2; i < stored.size() / 2 + 64; ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    std::string badChecksum = stored;
    badChecksum[stored.size() - 8] = static_cast<char>(badChecksum[stored.size() - 8] ^ 1);
    for (const std::string& damaged :
         {stored.substr(0, stored.size() / 2), corrupt, stored.substr(0, 15), badChecksum}) {
        write("bad.gz", damaged);
        File bad(portable("bad.gz"));
        EXPECT_EQ(thrown<FileBase::Read_Failure>([&] {
                      bad.openRead();
                      readAll(bad);
                  }),
                  "Read_Failure: Failed to read from file \"" + portable("bad.gz") + "\"");
    }
}
