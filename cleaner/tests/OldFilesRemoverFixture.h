// A fresh directory per test, files with stamps set relative to a fixed "now", and a remover whose
// clock is that "now".
#pragma once
#include "OldFilesRemover.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Time.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace VeltorTest {

constexpr std::int64_t kHour = 3600;

class RemoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        const std::string leaf = "sorvik-engine-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
                                 std::to_string(++counter);
        dir = (std::filesystem::temp_directory_path() / leaf).string();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(dir, ignored);
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    void makeFile(const std::string& name, const std::string& content = "x") {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        std::ofstream out(path(name), std::ios::binary);
        out << content;
    }
    void makeDir(const std::string& name) { std::filesystem::create_directories(path(name)); }

    // A file last written and last read the given number of seconds before now.
    void makeAged(const std::string& name, std::int64_t writtenAgo, std::int64_t readAgo) {
        makeFile(name);
        setStamps(name, now - writtenAgo, now - readAgo);
    }
    void setStamps(const std::string& name, std::int64_t written, std::int64_t read) {
        ASSERT_EQ(0u, VeltorPlatform::setFileTimes(path(name), written * 1000, read * 1000)) << name;
    }

    // What `run` writes to standard output.
    template <typename F> static std::string output(F&& run) {
        ::testing::internal::CaptureStdout();
        run();
        return ::testing::internal::GetCapturedStdout();
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

    // Every file and directory left below the test directory, relative, with '/' separators.
    std::set<std::string> left() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            names.insert(entry.path().lexically_relative(dir).generic_string());
        return names;
    }

    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // A second count for local calendar fields, as the engine's local-time conversions see them.
    static std::int64_t localSeconds(int year, int month, int day, int hour, int minute, int second) {
        // In the order of the fields: second up to year, week and year day (unused), daylight time unknown.
        VeltorPlatform::CalendarTime fields{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1};
        return VeltorPlatform::makeTime(fields);
    }
    void makeWritten(const std::string& name, std::int64_t seconds, const std::string& content = "x") {
        makeFile(name, content);
        setStamps(name, seconds, seconds);
    }

    std::int64_t now = VeltorPlatform::timeNow();
    std::string dir;
    Veltor::OldFilesRemover remover{[this] { return now; }};
};

} // namespace VeltorTest

// Runs `statement` in a child process and expects exit status 1 and exactly `expectedOutput` on its
// standard output, which the child sends to standard error, where the death test reads it.
#define EXPECT_EXIT_1_WITH_OUTPUT(statement, expectedOutput)                                                 \
    EXPECT_EXIT(                                                                                             \
        {                                                                                                    \
            dup2(2, 1);                                                                                      \
            statement;                                                                                       \
        },                                                                                                   \
        ::testing::ExitedWithCode(1), ::testing::Eq(std::string(expectedOutput)))
