#include "File.h"
#include "FileObjectTestDir.h"
#include "FileTools.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace VeltorFilelib;

TEST(FileToolsText, WholeFilesInAndOut) {
    FileObjectTestDir dir;
    const std::string marked = dir.put("marked.txt", byteString({0xEF, 0xBB, 0xBF, 'a', '\r', '\n', 0, 'b'}));
    EXPECT_EQ(FileTools::fileToString(marked), byteString({0xEF, 0xBB, 0xBF, 'a', '\r', '\n', 0, 'b'}));
    EXPECT_EQ(FileTools::fileToString(dir.put("empty.txt", "")), "");

    const std::string missing = dir.path("missing.txt");
    EXPECT_EQ(thrownText<FileTools::NoSuchFile>([&] { FileTools::fileToString(missing); }),
              "Trying to access \"" + missing + "\", but no such file (fileToString)");
    std::filesystem::create_directory(dir.path("sub"));
    EXPECT_EQ(thrownText<FileTools::NoSuchFile>([&] { FileTools::fileToString(dir.path("sub")); }),
              "Trying to access \"" + dir.path("sub") + "\", but no such file (fileToString)");

    // A gzip file comes back whole, although it holds more than its size on disk.
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i % 7) + "\n";
    const std::string zipped = dir.path("text.gz");
    FileTools::stringToFile(text, zipped, 0);
    EXPECT_LT(std::filesystem::file_size(zipped), text.size());
    EXPECT_EQ(FileTools::fileToString(zipped), text);

    EXPECT_EQ(thrownText<TargetExists>([&] { FileTools::stringToFile("", dir.path("x.txt"), 2); }),
              "Parameter \"data\" must not be empty (stringToFile)");
    EXPECT_EQ(thrownText<TargetExists>([&] { FileTools::stringToFile("x", "", 2); }),
              "Parameter \"path\" must not be empty (stringToFile)");
}

TEST(FileToolsText, StringToFileReplacesWithoutTruncatingInPlace) {
    FileObjectTestDir dir;
    const std::string target = dir.path("report.txt");
    FileTools::stringToFile("first", target, 0);
    EXPECT_EQ(FileObjectTestDir::get(target), "first");
    EXPECT_EQ(thrownText<TargetExists>([&] { FileTools::stringToFile("second", target, 0); }),
              "\"" + target + "\" must not exists prior to operation (stringToFile)");
    EXPECT_EQ(FileObjectTestDir::get(target), "first");

    // A second name for the old content shows whether it was replaced or overwritten in place.
    const std::string other = dir.path("other-name.txt");
    std::filesystem::create_hard_link(target, other);
    FileTools::stringToFile("second, longer", target, FileTools::ReplaceExisting);
    EXPECT_EQ(FileObjectTestDir::get(target), "second, longer");
    EXPECT_EQ(FileObjectTestDir::get(other), "first");

    // No numbered intermediate stays behind.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"other-name.txt", "report.txt"}));

    // Failing to write leaves nothing behind either.
    const std::string noDir = dir.path("nodir/new.txt");
    EXPECT_THROW(FileTools::stringToFile("data", noDir, 0), FileBase::Open_Failure);
}
