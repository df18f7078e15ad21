#include "File.h"
#include "BasicFile.h"
#include "FileTestDir.h"
#include "ZFile.h"

#include <cstring>

using namespace VeltorFilelib;
using VeltorCorelib::Unicode;

class FileObject : public FileTestDir {};

TEST_F(FileObject, OpenFailuresAndMisuseAreRefused) {
    const std::string noSuchDir = portable("nodir/out.txt");
    File writer(noSuchDir);
    // The record names the file, the open mode and the system's reason.
    EXPECT_EQ(thrown<FileBase::Open_Failure>([&] { writer.openAppend(); }),
              "Open_Failure: Failed to open \"" + noSuchDir + "\" (append, errno=2=" + std::strerror(2) +
                  ")");
    EXPECT_THROW(File(portable("nodir/out.gz")).openWrite(), FileBase::Open_Failure);
    File reader(portable("missing.txt"));
    EXPECT_THROW(reader.openRead(), FileBase::Open_FileMustExist);
    EXPECT_THROW(reader.openReadWrite(0), FileBase::Open_Failure);
    EXPECT_EQ(reader.getMode(), 0u);

    write("a.txt", "0123456789");
    const std::string name = portable("a.txt");
    File file(name);
    file.openRead();
    EXPECT_THROW(file.writeByte('x'), FileBase::Write_CannotWrite);
    EXPECT_THROW(file.setEncoding(2), FileBase::SetEncoding_FileOpen);
    EXPECT_THROW(file.setName("b.txt"), File::SetName_AlreadySet);
    file.close();
    EXPECT_THROW(file.setBytePos(1), FileBase::SetBytePos_FileClosed);
    EXPECT_THROW(file.readByte(), FileBase::Read_CannotRead);

    file.openWrite();
    EXPECT_THROW(file.readBytes(1), FileBase::Read_CannotRead);
    file.openReadWrite(2); // reopening closes the earlier stream first
    EXPECT_EQ(file.getMode(), FileBase::Mode_Open | FileBase::Mode_Read | FileBase::Mode_Append);
    file.close();

    // Without a name there is no implementation: queries are empty, reads refuse.
    File empty;
    EXPECT_FALSE(empty.exists());
    EXPECT_THROW(empty.readChar(), FileBase::Read_CannotRead);
}

TEST_F(FileObject, ImplementationFollowsTheExtension) {
    for (const char* zipped : {"log.gz", "log.GZ", "dir/archive.tar.gZ"})
        EXPECT_NE(dynamic_cast<ZFile*>(File(zipped).implementation()), nullptr) << zipped;
    for (const char* plain : {"noextension", "log.gzip", "dir.gz/log"})
        EXPECT_NE(dynamic_cast<BasicFile*>(File(plain).implementation()), nullptr) << plain;

    // A new file whose name holds a short-name marker can still be created.
    File marked(portable("NEWFIL~1.TXT"));
    marked.openWrite();
    marked.writeString("x");
    marked.close();
    EXPECT_EQ(read("NEWFIL~1.TXT"), "x");
}

TEST_F(FileObject, EncodingDetectionOnCompleteAndPartialMarks) {
    struct Case {
        std::string content;
        std::uint32_t encoding;
        int firstByte;
    } cases[] = {
        {byteString({0xEF, 0xBB, 0xBF, 'A'}), Unicode::Encoding_Utf8, 'A'},
        {byteString({0xEF, 0xBB, 'X'}), Unicode::Encoding_Bytes, 0xEF},
        {byteString({0xFF, 0xFE, 'A', 0}), Unicode::Encoding_Utf16le, 'A'},
        {byteString({0xFE, 0xFF, 0, 'A'}), Unicode::Encoding_Utf16be, 0},
        {byteString({0xEF, 0xBB}), Unicode::Encoding_Unknown, 0xEF},
        {"", Unicode::Encoding_Unknown, -1}, // nothing to read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        File file(write("d.txt", c.content));
        file.openRead();
        EXPECT_EQ(file.getEncoding(), c.encoding);
        if (c.firstByte < 0)
            EXPECT_TRUE(file.isEof());
        else
            EXPECT_EQ(file.readByte(), c.firstByte);
    }

    // Bytes given back by detection are not counted as lines twice.
    File lines(write("l.txt", "\nx"));
    lines.openRead();
    EXPECT_EQ(lines.readByte(), '\n');
    EXPECT_EQ(lines.getLine(), 1u);
}

TEST_F(FileObject, WritesMarksAndCharactersPerEncoding) {
    const std::string name = portable("u16.txt");
    for (bool append : {false, true}) {
        File file(name);
        file.setEncoding(Unicode::Encoding_Utf16le);
        if (append) {
            file.openAppend(); // no second mark
            file.writeChar('B');
        } else {
            file.openWrite();
            file.writeChar(0x1F600);
            file.writeChars(U"A\u00E9");
        }
    }
    EXPECT_EQ(read("u16.txt"), byteString({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'A', 0, 0xE9, 0, 'B', 0}));
    File file(name);
    file.openRead();
    EXPECT_EQ(file.getEncoding(), Unicode::Encoding_Utf16le);
    for (std::uint32_t expected : {0x1F600u, 0x41u, 0xE9u, 0x42u})
        EXPECT_EQ(file.readChar(), expected);
    EXPECT_TRUE(file.isEof());

    File utf8(portable("u8.txt"));
    utf8.setEncoding(Unicode::Encoding_Utf8);
    utf8.openAppend(); // an empty file gets the mark on append
    utf8.writeChar(0xE9);
    utf8.writeChar(0xD800); // not encodable: nothing written
    utf8.writeLine("ok");
    utf8.close();
    EXPECT_EQ(read("u8.txt"), byteString({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 'o', 'k', '\n'}));
}

// Sequences cut short by the end of the file, and a surrogate pair with a bad second unit, reach the
// decoder whole and are refused.
TEST_F(FileObject, BadTextInTheFileIsRefused) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {Unicode::Encoding_Utf8, byteString({0xE2, 0x82})},
        {Unicode::Encoding_Utf16le, byteString({0x3D, 0xD8})},
        {Unicode::Encoding_Utf16be, byteString({0x00})},
        {Unicode::Encoding_Utf16be, byteString({0xD8, 0x3D, 0x00, 0x41})},
    };
    for (const auto& [encoding, content] : cases) {
        File file(write("bad.txt", content));
        file.setEncoding(encoding);
        file.openRead();
        EXPECT_THROW(file.readChar(), Unicode::Unicode_Invalid) << encoding << " " << content;
    }
}

TEST_F(FileObject, ReadsLinesBytesAndTheEnd) {
    File file(write("lines.txt", "a\nbc\n\nlast"));
    file.openRead();
    std::string line;
    std::vector<std::string> lines;
    while (!file.isEof()) {
        file.readLine(line);
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a\n", "bc\n", "\n", "last"}));
    EXPECT_EQ(file.getLine(), 3u);
    EXPECT_THROW(file.readLine(line), FileBase::Read_EndOfFile);
    EXPECT_THROW(file.readByte(), FileBase::Read_EndOfFile);

    file.setBytePos(2);
    std::string until;
    file.readUntil(until, 'c');
    EXPECT_EQ(until, "bc");
    EXPECT_FALSE(file.isEof());
    // A short read returns what is there and marks the end.
    EXPECT_EQ(file.readBytes(100), "\n\nlast");
    EXPECT_TRUE(file.isEof());
    file.setBytePos(-1);
    EXPECT_EQ(file.readByte(), 't');
    EXPECT_EQ(file.tell(), 10);
    file.moveBytePos(-4);
    EXPECT_EQ(file.readString(2), "la");
    EXPECT_THROW(file.setBytePos(-100), FileBase::SetBytePos_Failure);
}

TEST_F(FileObject, PositionsAfterMixedReadsAndWrites) {
    const std::string name = write("rw.txt", "0123456789");
    File file(name);
    file.openReadWrite(0);
    EXPECT_EQ(file.readBytes(3), "012"); // detection gave its byte back
    file.writeString("ab");
    EXPECT_EQ(file.tell(), 5);
    EXPECT_EQ(file.readBytes(2), "56");
    file.writeByte('Z');
    file.setBytePos(0);
    EXPECT_EQ(file.readBytes(10), "012ab56Z89");
    file.close();

    // Writing first after opening starts at the beginning, not where detection stopped.
    File front(name);
    front.openReadWrite(0);
    front.writeString("XY");
    front.close();
    EXPECT_EQ(read("rw.txt"), "XY2ab56Z89");
}
