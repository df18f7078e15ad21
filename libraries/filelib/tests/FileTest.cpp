#include "File.h"
#include "BasicFile.h"
#include "FileObjectTestDir.h"
#include "ZFile.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace VeltorFilelib;
using VeltorCorelib::Unicode;

TEST(File, OpenFailuresNameTheFileAndTheReason) {
    FileObjectTestDir dir;
    const std::string missing = dir.path("missing.txt");
    File reader(missing);
    EXPECT_EQ(thrownText<FileBase::Open_FileMustExist>([&] { reader.openRead(); }),
              "Trying to open non-existing file \"" + missing + "\"");
    EXPECT_EQ(reader.getMode(), 0u);

    const std::string noSuchDir = dir.path("nodir/out.txt");
    const std::string reason = std::string("=2=") + std::strerror(2) + ")";
    File writer(noSuchDir);
    EXPECT_EQ(thrownText<FileBase::Open_Failure>([&] { writer.openWrite(); }),
              "Failed to open \"" + noSuchDir + "\" (out, errno" + reason);
    EXPECT_EQ(thrownText<FileBase::Open_Failure>([&] { writer.openAppend(); }),
              "Failed to open \"" + noSuchDir + "\" (append, errno" + reason);
    EXPECT_EQ(thrownText<FileBase::Open_Failure>([&] { reader.openReadWrite(0); }),
              "Failed to open \"" + missing + "\" (read-write, errno" + reason);
    EXPECT_EQ(writer.getMode(), 0u);

    File zipped(dir.path("nodir/out.gz"));
    EXPECT_EQ(thrownText<FileBase::Open_Failure>([&] { zipped.openWrite(); }),
              "Failed to open \"" + dir.path("nodir/out.gz") + "\" (out)");
}

TEST(File, ModesAndMisuseTexts) {
    FileObjectTestDir dir;
    const std::string name = dir.put("a.txt", "0123456789");
    File file(name);
    EXPECT_EQ(file.getName(), name);
    file.openRead();
    EXPECT_EQ(file.getMode(), 3u);
    EXPECT_EQ(thrownText<FileBase::Write_CannotWrite>([&] { file.writeByte('x'); }),
              "Trying to write to file that is not opened for writing");
    EXPECT_EQ(thrownText<FileBase::Write_CannotWrite>([&] { file.flush(); }),
              "Trying to write to file that is not opened for writing");
    EXPECT_EQ(thrownText<FileBase::SetEncoding_FileOpen>([&] { file.setEncoding(2); }),
              "Trying to set explicit file encoding after the file has been opened");
    EXPECT_EQ(thrownText<FileBase::SetName_FileOpen>([&] { file.implementation()->setName("other.txt"); }),
              "Trying to change file name from \"" + name + "\" to \"other.txt\" while file is open");
    EXPECT_EQ(thrownText<File::SetName_AlreadySet>([&] { file.setName("b.txt"); }),
              "Trying to set file name \"b.txt\" but \"" + name + "\" has already been set");
    file.close();
    EXPECT_EQ(file.getMode(), 0u);
    EXPECT_EQ(thrownText<FileBase::SetBytePos_FileClosed>([&] { file.setBytePos(1); }),
              "Trying to change file position on file that is not open");
    EXPECT_EQ(thrownText<FileBase::Read_CannotRead>([&] { file.readByte(); }),
              "Trying to read from file that is not opened for reading");

    file.openWrite();
    EXPECT_EQ(file.getMode(), 5u);
    EXPECT_EQ(thrownText<FileBase::Read_CannotRead>([&] { file.readBytes(1); }),
              "Trying to read from file that is not opened for reading");
    file.openAppend(); // reopening closes the earlier stream first
    EXPECT_EQ(file.getMode(), 9u);
    file.openReadWrite(0);
    EXPECT_EQ(file.getMode(), 7u);
    file.openReadWrite(2);
    EXPECT_EQ(file.getMode(), 11u);
    file.close();

    // Without a name there is no implementation: queries are empty, reads refuse.
    File empty;
    EXPECT_EQ(empty.getName(), "");
    EXPECT_EQ(empty.getMode(), 0u);
    EXPECT_FALSE(empty.exists());
    EXPECT_EQ(thrownText<FileBase::Read_CannotRead>([&] { empty.readChar(); }),
              "Trying to read from file that is not opened for reading");
}

TEST(File, ImplementationFollowsTheExtension) {
    for (const char* zipped : {"log.gz", "log.GZ", "dir/archive.tar.gZ"})
        EXPECT_NE(dynamic_cast<ZFile*>(File(zipped).implementation()), nullptr) << zipped;
    for (const char* plain : {"noextension", "log.gzip", "dir.gz/log"})
        EXPECT_NE(dynamic_cast<BasicFile*>(File(plain).implementation()), nullptr) << plain;
    EXPECT_EQ(File("dir\\sub\\a.txt").getName(), "dir/sub/a.txt");
    EXPECT_EQ(File("dir//sub/./x/../a.txt").getName(), "dir/sub/a.txt");

    // A new file whose name holds a short-name marker can still be created.
    FileObjectTestDir dir;
    File marked(dir.path("NEWFIL~1.TXT"));
    EXPECT_EQ(marked.getName(), dir.path("NEWFIL~1.TXT"));
    marked.openWrite();
    marked.writeString("x");
    marked.close();
    EXPECT_EQ(FileObjectTestDir::get(dir.path("NEWFIL~1.TXT")), "x");
}

TEST(File, EncodingDetectionOnCompleteAndPartialMarks) {
    FileObjectTestDir dir;
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
        {"plain", Unicode::Encoding_Bytes, 'p'},
    };
    for (const auto& c : cases) {
        File file(dir.put("d.txt", c.content));
        file.openRead();
        EXPECT_EQ(file.getEncoding(), c.encoding);
        EXPECT_EQ(file.readByte(), c.firstByte);
        file.close();
    }
    File empty(dir.put("empty.txt", ""));
    empty.openRead();
    EXPECT_EQ(empty.getEncoding(), 0u);
    EXPECT_TRUE(empty.isEof());

    // An encoding set beforehand is kept, and nothing is consumed.
    File fixed(dir.put("f.txt", byteString({0xEF, 0xBB, 0xBF})));
    fixed.setEncoding(Unicode::Encoding_Utf16be);
    fixed.openRead();
    EXPECT_EQ(fixed.getEncoding(), 4u);
    EXPECT_EQ(fixed.readByte(), 0xEF);

    // Bytes given back by detection are not counted as lines twice.
    File lines(dir.put("l.txt", "\nx"));
    lines.openRead();
    EXPECT_EQ(lines.getLine(), 0u);
    EXPECT_EQ(lines.readByte(), '\n');
    EXPECT_EQ(lines.getLine(), 1u);
    EXPECT_EQ(lines.getPreviousLine(), 0u);
}

TEST(File, WritesMarksAndCharactersPerEncoding) {
    FileObjectTestDir dir;
    const std::string name = dir.path("u16.txt");
    {
        File file(name);
        file.setEncoding(Unicode::Encoding_Utf16le);
        file.openWrite();
        file.writeChar(0x1F600);
        file.writeChars(U"A\u00E9");
        file.close();
    }
    EXPECT_EQ(FileObjectTestDir::get(name),
              byteString({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'A', 0, 0xE9, 0}));
    {
        File file(name);
        file.setEncoding(Unicode::Encoding_Utf16le);
        file.openAppend();
        file.writeChar('B');
        file.close();
    }
    EXPECT_EQ(FileObjectTestDir::get(name),
              byteString({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'A', 0, 0xE9, 0, 'B', 0}));
    {
        File file(name);
        file.openRead();
        EXPECT_EQ(file.getEncoding(), 3u);
        EXPECT_EQ(file.readChar(), 0x1F600u);
        EXPECT_EQ(file.readChar(), uint32_t('A'));
        EXPECT_EQ(file.readChar(), 0xE9u);
        EXPECT_EQ(file.readChar(), uint32_t('B'));
        EXPECT_TRUE(file.isEof());
    }

    // Big-endian and UTF-8 through one object; a truncating reopen writes the mark again.
    const std::string be = dir.path("be.txt");
    File bigEndian(be);
    bigEndian.setEncoding(Unicode::Encoding_Utf16be);
    bigEndian.openWrite();
    bigEndian.writeCharsLine(U"\U0001F600");
    bigEndian.openWrite();
    bigEndian.writeChar(0xE9);
    bigEndian.close();
    EXPECT_EQ(FileObjectTestDir::get(be), byteString({0xFE, 0xFF, 0x00, 0xE9}));
    File readBack(be);
    readBack.openRead();
    EXPECT_EQ(readBack.readChar(), 0xE9u);

    const std::string u8 = dir.path("u8.txt");
    File utf8(u8);
    utf8.setEncoding(Unicode::Encoding_Utf8);
    utf8.openAppend(); // an empty file gets the mark on append
    utf8.writeChar(0xE9);
    utf8.writeChar(0xD800); // not encodable: nothing written
    utf8.writeLine("ok");
    utf8.close();
    EXPECT_EQ(FileObjectTestDir::get(u8), byteString({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 'o', 'k', '\n'}));

    // Plain bytes write a code point as '#' and its decimal value.
    const std::string plain = dir.path("plain.txt");
    File bytes(plain);
    bytes.openWrite();
    bytes.writeChar(0x20AC);
    bytes.writeString("x", ';');
    bytes.close();
    EXPECT_EQ(FileObjectTestDir::get(plain), "#8364x;");
    bytes.openRead();
    EXPECT_EQ(bytes.readChar(), uint32_t('#'));
}

TEST(File, BadTextInTheFileIsRefused) {
    FileObjectTestDir dir;
    auto readOne = [&](std::uint32_t encoding, const std::string& content) {
        File file(dir.put("bad.txt", content));
        file.setEncoding(encoding);
        file.openRead();
        return thrownText<Unicode::Unicode_Invalid>([&] { file.readChar(); });
    };
    EXPECT_EQ(readOne(2, byteString({0xE2, 0x82})), "Invalid unicode (invalid utf8)");
    EXPECT_EQ(readOne(2, byteString({0xC0, 0x80})), "Invalid unicode (invalid utf8)");
    EXPECT_EQ(readOne(3, byteString({0x3D, 0xD8})), "Invalid unicode (too short uft16le)");
    EXPECT_EQ(readOne(3, byteString({0x00, 0xDC})), "Invalid unicode (illegal value uft16le)");
    EXPECT_EQ(readOne(4, byteString({0x00})), "Invalid unicode (uneven utf16be)");
    EXPECT_EQ(readOne(4, byteString({0xD8, 0x3D, 0x00, 0x41})), "Invalid unicode (illegal value uft16be)");
}

TEST(File, ReadsLinesBytesAndTheEnd) {
    FileObjectTestDir dir;
    File file(dir.put("lines.txt", "a\nbc\n\nlast"));
    file.openRead();
    std::string line;
    std::vector<std::string> lines;
    while (!file.isEof()) {
        file.readLine(line);
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a\n", "bc\n", "\n", "last"}));
    EXPECT_EQ(file.getLine(), 3u);
    EXPECT_EQ(thrownText<FileBase::Read_EndOfFile>([&] { file.readLine(line); }),
              "Trying to read past end of file");
    EXPECT_EQ(thrownText<FileBase::Read_EndOfFile>([&] { file.readString(1); }),
              "Trying to read past end of file");
    EXPECT_EQ(thrownText<FileBase::Read_EndOfFile>([&] { file.readByte(); }),
              "Trying to read past end of file");

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

    EXPECT_EQ(thrownText<FileBase::SetBytePos_Failure>([&] { file.setBytePos(-100); }),
              "Failed to set position = -100 (BasicFile::seek_end)");
    EXPECT_EQ(thrownText<FileBase::SetBytePos_Failure>([&] { file.moveBytePos(-100); }),
              "Failed to set position = -100 (move)");
    EXPECT_EQ(file.exists(), true);
    EXPECT_EQ(file.size(), 10);
}

TEST(File, PositionsAfterMixedReadsAndWrites) {
    FileObjectTestDir dir;
    const std::string name = dir.put("rw.txt", "0123456789");
    File file(name);
    file.openReadWrite(0);
    EXPECT_EQ(file.getEncoding(), 1u);
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
    EXPECT_EQ(FileObjectTestDir::get(name), "XY2ab56Z89");

    // Appending mode: writes go to the end, reading goes on where it was.
    File appending(name);
    appending.openReadWrite(2);
    EXPECT_EQ(appending.readBytes(2), "XY");
    appending.writeString("++");
    EXPECT_EQ(appending.readBytes(3), "2ab");
    appending.close();
    EXPECT_EQ(FileObjectTestDir::get(name), "XY2ab56Z89++");

    // Create-or-truncate read-write with a mark.
    File fresh(dir.path("fresh.txt"));
    fresh.setEncoding(Unicode::Encoding_Utf8);
    fresh.openReadWrite(1);
    fresh.writeChar(0xE9);
    fresh.setBytePos(3);
    EXPECT_EQ(fresh.readChar(), 0xE9u);
    EXPECT_TRUE(fresh.isEof());
    fresh.close();
    EXPECT_EQ(FileObjectTestDir::get(dir.path("fresh.txt")), byteString({0xEF, 0xBB, 0xBF, 0xC3, 0xA9}));
}

TEST(File, FilesThatGrowOrShrinkWhileOpen) {
    FileObjectTestDir dir;
    const std::string name = dir.put("grow.txt", "abc");
    File file(name);
    file.openRead();
    EXPECT_EQ(file.readBytes(3), "abc");
    EXPECT_TRUE(file.isEof());
    {
        File other(name);
        other.openAppend();
        other.writeString("def");
        other.close();
    }
    // Positioning again notices the new bytes.
    file.setBytePos(file.tell());
    EXPECT_FALSE(file.isEof());
    EXPECT_EQ(file.readBytes(10), "def");

    dir.put("grow.txt", "");
    file.setBytePos(1);
    EXPECT_TRUE(file.isEof());
    EXPECT_EQ(thrownText<FileBase::Read_EndOfFile>([&] { file.readBytes(4); }),
              "Trying to read past end of file");
    file.close();
}
