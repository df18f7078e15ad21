// A fresh directory below the system's temporary directory, removed with everything in it afterwards
// (read-only entries made writable first), with helpers to put and get raw file contents.
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
        for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink())
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        }
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

    std::filesystem::path root;
};

// Bytes from a list of values.
inline std::string byteString(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The human text of the exception a call throws (checked to be of type E, optionally with the type's
// name in front), or "no error".
template <typename E, typename F> std::string thrownText(F&& call, bool withName = false) {
    try {
        call();
    } catch (const E& e) {
        return e.getText(withName);
    }
    return "no error";
}
// The same with the type's name in front, as the full record shows it.
template <typename E, typename F> std::string thrown(F&& call) {
    return thrownText<E>(call, true);
}
