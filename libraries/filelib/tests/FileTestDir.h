// A fresh directory below the system's temporary directory for one test, removed with everything
// in it afterwards (read-only entries made writable first).
#pragma once
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class FileTestDir : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        root = std::filesystem::temp_directory_path() /
               ("veltor-files-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
                std::to_string(++counter));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        base = root.string();
    }
    void TearDown() override {
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink())
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(root, ignored);
    }
    // The path of a name below the test directory, with the native separator.
    std::string path(const std::string& name) const {
        return (root / std::filesystem::path(name).make_preferred()).string();
    }
    // The path with '/' only, as the throwing tools take it.
    std::string portable(const std::string& name) const {
        std::string text = path(name);
        for (char& c : text)
            if (c == '\\')
                c = '/';
        return text;
    }
    std::string write(const std::string& name, const std::string& content = "x") const {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    std::string makeDir(const std::string& name) const {
        std::filesystem::create_directories(path(name));
        return path(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool present(const std::string& name) const {
        std::error_code ignored;
        return std::filesystem::exists(std::filesystem::symlink_status(path(name), ignored));
    }
    void stamp(const std::string& name, std::int64_t writeMs, std::int64_t accessMs) const {
        ASSERT_EQ(VeltorPlatform::setFileTimes(path(name), writeMs, accessMs), 0u);
    }
    void readOnly(const std::string& name) const {
        ASSERT_EQ(VeltorPlatform::changeMode(path(name), VeltorPlatform::FilePermission::Read), 0u);
    }

    std::filesystem::path root;
    std::string base;
};
