// A fresh directory below the system's temporary directory for one test, removed afterwards, with
// helpers to put and get raw file contents.
#pragma once
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class FileObjectTestDir {
public:
    FileObjectTestDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root = std::filesystem::temp_directory_path() /
               ("sorvik-fileobj-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(root);
    }
    ~FileObjectTestDir() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    FileObjectTestDir(const FileObjectTestDir&) = delete;
    FileObjectTestDir& operator=(const FileObjectTestDir&) = delete;

    // A path inside the directory, with '/' separators.
    std::string path(const std::string& name) const { return (root / name).generic_string(); }

    std::string put(const std::string& name, const std::string& bytes) const {
        std::ofstream out(root / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

    static std::string get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root;
};

// Bytes from a list of values.
inline std::string byteString(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The human text of the exception a call throws (checked to be of type E), or "no error".
template <typename E, typename F> std::string thrownText(F&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.getText(false);
    }
    return "no error";
}
