#include "DirTools.h"
#include "File.h"
#include "FileTestDir.h"
#include "FileTools.h"

#include <filesystem>

using namespace VeltorFilelib;

class FileToolsText : public FileTestDir {};

TEST_F(FileToolsText, WholeFilesInAndOut) {
    // Every byte as it is: mark, carriage return, NUL.
    const std::string bytes = byteString({0xEF, 0xBB, 0xBF, 'a', '\r', '\n', 0, 'b'});
    write("marked.txt", bytes);
    EXPECT_EQ(FileTools::fileToString(portable("marked.txt")), bytes);
    EXPECT_THROW(FileTools::fileToString(portable("missing.txt")), FileTools::NoSuchFile);
    makeDir("sub");
    EXPECT_THROW(FileTools::fileToString(portable("sub")), FileTools::NoSuchFile);

    // A gzip file comes back whole, although it holds more than its size on disk.
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i % 7) + "\n";
    const std::string zipped = portable("text.gz");
    FileTools::stringToFile(text, zipped, 0);
    EXPECT_EQ(read("text.gz").substr(0, 2), byteString({0x1F, 0x8B}));
    EXPECT_LT(std::filesystem::file_size(zipped), text.size());
    EXPECT_EQ(FileTools::fileToString(zipped), text);

    EXPECT_THROW(FileTools::stringToFile("", portable("x.txt"), 2), TargetExists);
    EXPECT_THROW(FileTools::stringToFile("x", "", 2), TargetExists);
}

TEST_F(FileToolsText, StringToFileReplacesWithoutTruncatingInPlace) {
    const std::string target = portable("report.txt");
    FileTools::stringToFile("first", target, 0);
    EXPECT_EQ(read("report.txt"), "first");
    EXPECT_THROW(FileTools::stringToFile("second", target, 0), TargetExists);
    EXPECT_EQ(read("report.txt"), "first");

    // A second name for the old content shows whether it was replaced or overwritten in place.
    const std::string other = portable("other-name.txt");
    std::filesystem::create_hard_link(target, other);
    FileTools::stringToFile("second, longer", target, FileTools::ReplaceExisting);
    EXPECT_EQ(read("report.txt"), "second, longer");
    EXPECT_EQ(read("other-name.txt"), "first");

    // No numbered intermediate stays behind.
    EXPECT_EQ(DirTools::readFiles(portable(""), "*"), (DirTools::NameSet{"other-name.txt", "report.txt"}));

    // Failing to write leaves nothing behind either.
    EXPECT_THROW(FileTools::stringToFile("data", portable("nodir/new.txt"), 0), FileBase::Open_Failure);
}
