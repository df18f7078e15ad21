// A fixture around a fresh temporary directory, removed with everything in it afterwards (read-only
// entries made writable first), with helpers for names below it, bytes and thrown records.
#pragma once
#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

class FileTestDir : public ::testing::Test {
protected:
    FileTestDir() {
        static std::atomic<unsigned> counter{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        root = std::filesystem::temp_directory_path() /
               ("sorvik-filelib-" + std::to_string(now) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(root);
        base = root.string();
    }
    ~FileTestDir() override {
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
    // The path with '/' only, as the throwing tools and the file objects take it.
    std::string portable(const std::string& name) const {
        std::string text = path(name);
        std::replace(text.begin(), text.end(), '\\', '/');
        return text;
    }
    // Writes the bytes (parent directories made as needed); the native path.
    std::string write(const std::string& name, const std::string& content = "x") const {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        std::ofstream(path(name), std::ios::binary | std::ios::trunc) << content;
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

    std::filesystem::path root;
    std::string base;
};

inline std::string byteString(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The record of the exception a call throws (checked to be of type E), with the type's name in front,
// or "no error".
template <typename E, typename F> std::string thrown(F&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.getText(true);
    }
    return "no error";
}
