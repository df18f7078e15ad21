// Test support: a fresh local value store root in the system's temporary directory, set as VELTOR_FREG
// for the life of the object and removed afterwards.
#pragma once
#include "platform/Process.h"
#include "platform/SystemInfo.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct StoreRoot {
    std::filesystem::path path;
    std::string previous;
    bool hadPrevious;

    StoreRoot() {
        static std::atomic<int> counter{0};
        path = std::filesystem::temp_directory_path() /
               ("sorvik-freg-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
                std::to_string(++counter));
        std::filesystem::create_directories(path);
        hadPrevious = VeltorPlatform::getEnvironment("VELTOR_FREG", previous);
        VeltorPlatform::setEnvironment("VELTOR_FREG", text());
    }
    ~StoreRoot() {
        VeltorPlatform::setEnvironment("VELTOR_FREG", hadPrevious ? previous : std::string());
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    // The root as the store sees it, with '/' separators.
    std::string text() const { return path.generic_string(); }
    std::string fileContent(const std::string& relative) const {
        std::ifstream in(path / relative, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
};
