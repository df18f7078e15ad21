// A test fixture around a fresh temporary directory, with helpers for names below it.
#pragma once
#include "FileObjectTestDir.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

class FileTestDir : public ::testing::Test {
protected:
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
    // False where the system (or its user) may not make symbolic links.
    static bool makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link,
                            bool directory = true) {
        std::error_code error;
        if (directory)
            std::filesystem::create_directory_symlink(target, link, error);
        else
            std::filesystem::create_symlink(target, link, error);
        return !error;
    }
    void readOnly(const std::string& name) const {
        ASSERT_EQ(VeltorPlatform::changeMode(path(name), VeltorPlatform::FilePermission::Read), 0u);
    }

    FileObjectTestDir temp;
    const std::filesystem::path root = temp.root;
    const std::string base = root.string();
};
