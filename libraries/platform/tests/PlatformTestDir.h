// The shared support of the platform tests: a fixture around a fresh directory below the system's
// temporary directory, removed with everything in it afterwards (read-only entries made writable first).
#pragma once
#include "platform/Process.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

class PlatformTestDir : public ::testing::Test {
protected:
    void SetUp() override {
        // The time too: under Wine, what a test leaves behind (a dangling link) may outlive its process.
        static int counter = 0;
        root = std::filesystem::temp_directory_path() /
               ("veltor-platform-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
                std::to_string(std::time(nullptr)) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(root);
    }
    void TearDown() override {
        std::error_code ignored;
        for (auto& item : std::filesystem::recursive_directory_iterator(root, ignored))
            std::filesystem::permissions(item.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    std::string path(const std::string& name) const { return (root / name).string(); }
    std::string write(const std::string& name, const std::string& content = "x") const {
        std::ofstream(root / name, std::ios::binary | std::ios::trunc) << content;
        return path(name);
    }
    std::string content(const std::string& name) const {
        std::ifstream in(root / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path root;
};

#ifndef _WIN32
// Runs `body` in a child process, for what must not touch this one (a seccomp filter, a mount
// namespace, another user); its result is the child's exit status, -1 when it did not exit.
template <class Body> int runInChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
#endif
