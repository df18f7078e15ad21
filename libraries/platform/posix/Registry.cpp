// The registry kept in a .reg text file (see Registry.h and RegistryFile.h).
#include "platform/Registry.h"
#include "platform/FileErrors.h"
#include "platform/RegistryFile.h"

#include "Errors.h"
#include "TrustedPath.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace VeltorPlatform {

namespace {

namespace Error = FileSystemError;
using RegistryFile::Key;
using RegistryFile::Tree;

thread_local std::string lastDetail;

struct KeyState {
    std::shared_ptr<const Tree> tree;
    const Key* node = nullptr;
    std::vector<std::string> path; // below the root key
    RegistryRoot root = RegistryRoot::LocalMachine;
    std::uint32_t access = 0;
    std::vector<std::string> subKeyNames; // listed on the first enumeration
    bool listed = false;
};

const char* rootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case RegistryRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegistryRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::Users:
        return "HKEY_USERS";
    case RegistryRoot::PerformanceData:
        return "HKEY_PERFORMANCE_DATA";
    case RegistryRoot::CurrentConfig:
        return "HKEY_CURRENT_CONFIG";
    }
    return "";
}

std::string registryFile() {
    const char* name = std::getenv("VELTOR_REGISTRY");
    return name && *name ? name : "/etc/veltor/registry.reg";
}

std::string quotedFile(const std::string& file) {
    return "Registry file \"" + file + "\"";
}

std::uint32_t failWithErrno(const char* what, const std::string& file) {
    int error = errno;
    lastDetail =
        std::string("Could not ") + what + " registry file \"" + file + "\": " + std::strerror(error);
    return fromErrno(error);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }
    int release() {
        int result = fd;
        fd = -1;
        return result;
    }
    void reset(int other) {
        if (fd >= 0)
            ::close(fd);
        fd = other;
    }

private:
    int fd;
};

// Whoever may write the registry file decides what gets deleted, so it is read only when nobody but root
// and the running user can change it: the file itself and every directory above it. A link to the file
// (an administrator's choice) is followed, and the directories of the real path are the ones judged.
// Opens the file into fd; fd stays closed when the file is missing.
std::uint32_t openTrusted(const std::string& file, Descriptor& fd, struct stat& info) {
    char real[PATH_MAX];
    if (!::realpath(file.c_str(), real)) {
        if (errno == ENOENT) // a missing file or a dangling link
            return 0;
        return failWithErrno("read", file);
    }
    const std::string resolved = real;
    std::string subject = quotedFile(file);
    if (resolved != file)
        subject += " (\"" + resolved + "\")";
    const std::size_t slash = resolved.rfind('/');
    const std::string reason = TrustedPath::checkDirectories(slash == 0 ? "/" : resolved.substr(0, slash));
    if (!reason.empty()) {
        lastDetail = subject + " is refused: " + reason;
        return Error::AccessDenied;
    }
    // Judged before opening, so that a FIFO or a device is never opened at all; O_NONBLOCK covers a swap
    // in between.
    if (::lstat(resolved.c_str(), &info) != 0)
        return errno == ENOENT ? 0 : failWithErrno("read", file);
    int descriptor = -1;
    if (S_ISREG(info.st_mode)) {
        descriptor = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (descriptor < 0 && errno == ENOENT)
            return 0;
        if (descriptor < 0 && errno != ELOOP) // ELOOP: replaced by a link since
            return failWithErrno("read", file);
    }
    Descriptor opened(descriptor);
    if (opened.get() >= 0 && ::fstat(opened.get(), &info) != 0)
        return failWithErrno("read", file);
    if (opened.get() < 0 || !S_ISREG(info.st_mode)) {
        lastDetail = subject + " is not a regular file";
        return Error::AccessDenied;
    }
    if (!TrustedPath::trustedOwner(info)) {
        lastDetail = subject + " is refused: it " + TrustedPath::foreignOwner(info);
        return Error::AccessDenied;
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH)) {
        lastDetail =
            quotedFile(file) + " is refused: group or others may write it (chmod go-w \"" + file + "\")";
        return Error::AccessDenied;
    }
    fd.reset(opened.release());
    return 0;
}

// Reads and parses the file; a missing file leaves the tree empty. mode receives the file's
// permission bits (0 when it is missing).
std::uint32_t loadTree(const std::string& file, Tree& tree, mode_t& mode) {
    mode = 0;
    Descriptor fd(-1);
    struct stat info {};
    std::uint32_t result = openTrusted(file, fd, info);
    if (result != 0 || fd.get() < 0)
        return result;
    mode = info.st_mode & 07777;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return failWithErrno("read", file);
        }
        if (count == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    unsigned line = 0;
    std::string reason;
    if (!RegistryFile::parse(bytes.data(), bytes.size(), tree, line, reason)) {
        lastDetail = quotedFile(file) + ", line " + std::to_string(line) + ": " + reason;
        return Error::BadDatabase;
    }
    return 0;
}

// The file a write replaces: symbolic links are followed, so the link itself stays.
std::string writeTarget(const std::string& file) {
    char resolved[PATH_MAX];
    if (::realpath(file.c_str(), resolved))
        return resolved;
    return file;
}

// Holds the exclusive lock that serialises the writers of one registry file.
class WriteLock {
public:
    std::uint32_t acquire(const std::string& target) {
        std::string name = target + ".lock";
        fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return failWithErrno("lock", target);
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR)
                return failWithErrno("lock", target);
        }
        return 0;
    }
    ~WriteLock() {
        if (fd >= 0)
            ::close(fd);
    }

private:
    int fd = -1;
};

std::uint32_t writeTree(const std::string& target, const Tree& tree, mode_t mode) {
    std::string bytes = RegistryFile::serialise(tree);
    std::string temporary = target + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    Descriptor fd(::mkstemp(name.data()));
    if (fd.get() < 0)
        return failWithErrno("write", target);
    auto fail = [&]() {
        std::uint32_t result = failWithErrno("write", target);
        ::unlink(name.data());
        return result;
    };
    // A new file is readable by everyone and writable by its owner only, like the machine's own keys.
    if (::fchmod(fd.get(), mode ? (mode & ~(S_IWGRP | S_IWOTH)) : 0644) != 0)
        return fail();
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t count = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return fail();
        }
        done += static_cast<std::size_t>(count);
    }
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0)
        return fail();
    if (::rename(name.data(), target.c_str()) != 0)
        return fail();
    return 0;
}

// Splits a key path at backslashes; empty names between them are skipped, as the system does.
std::uint32_t splitPath(const std::string& path, std::vector<std::string>& parts) {
    if (!path.empty() && path[0] == '\\')
        return Error::BadPathName;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}

const Key* findKey(const Tree& tree, RegistryRoot root, const std::vector<std::string>& parts) {
    auto found = tree.root.subKeys.find(RegistryFile::fold(rootName(root)));
    if (found == tree.root.subKeys.end())
        return nullptr;
    const Key* key = found->second.get();
    for (const std::string& part : parts) {
        auto child = key->subKeys.find(RegistryFile::fold(part));
        if (child == key->subKeys.end())
            return nullptr;
        key = child->second.get();
    }
    return key;
}

Key* findKey(Tree& tree, RegistryRoot root, const std::vector<std::string>& parts) {
    return const_cast<Key*>(findKey(static_cast<const Tree&>(tree), root, parts));
}

KeyState* stateOf(const RegistryKey& key) {
    return static_cast<KeyState*>(key.native());
}

void openWith(RegistryKey& key, std::shared_ptr<const Tree> tree, RegistryRoot root,
              std::vector<std::string> parts, std::uint32_t access) {
    std::unique_ptr<KeyState> state(new KeyState);
    state->node = findKey(*tree, root, parts);
    state->tree = std::move(tree);
    state->path = std::move(parts);
    state->root = root;
    state->access = access;
    key.adopt(state.release());
}

// Reads the file under the writers' lock, lets change() edit the tree and writes it back when change()
// asks for it. The tree as written is handed back.
template <typename Change> std::uint32_t rewrite(std::shared_ptr<Tree>& tree, Change change) {
    std::string target = writeTarget(registryFile());
    WriteLock lock;
    std::uint32_t result = lock.acquire(target);
    if (result != 0)
        return result;
    tree = std::make_shared<Tree>();
    mode_t mode = 0;
    result = loadTree(target, *tree, mode);
    if (result != 0)
        return result;
    RegistryFile::findRoot(*tree, "HKEY_LOCAL_MACHINE"); // the roots always exist
    bool changed = false;
    result = change(*tree, changed);
    if (result != 0 || !changed)
        return result;
    return writeTree(target, *tree, mode);
}

// Splits the path and reads the registry as the file holds it now.
std::uint32_t readRegistry(RegistryRoot root, const std::string& path, std::vector<std::string>& parts,
                           std::shared_ptr<Tree>& tree) {
    std::uint32_t result = splitPath(path, parts);
    if (result != 0)
        return result;
    tree = std::make_shared<Tree>();
    mode_t mode = 0;
    result = loadTree(registryFile(), *tree, mode);
    if (result != 0)
        return result;
    RegistryFile::findRoot(*tree, rootName(root)); // the root keys always exist
    return 0;
}

} // namespace

std::uint32_t RegistryKey::close() noexcept {
    delete static_cast<KeyState*>(handle);
    handle = nullptr;
    return 0;
}

const std::string& registryErrorDetail() {
    return lastDetail;
}

std::uint32_t regOpenKey(RegistryRoot root, const std::string& path, std::uint32_t access, RegistryKey& key) {
    lastDetail.clear();
    key.close();
    try {
        std::vector<std::string> parts;
        std::shared_ptr<Tree> tree;
        std::uint32_t result = readRegistry(root, path, parts, tree);
        if (result != 0)
            return result;
        if (!findKey(*tree, root, parts))
            return Error::FileNotFound;
        openWith(key, std::move(tree), root, std::move(parts), access);
        return 0;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::uint32_t regCreateKey(RegistryRoot root, const std::string& path, std::uint32_t access,
                           RegistryKey& key) {
    lastDetail.clear();
    key.close();
    try {
        std::vector<std::string> parts;
        std::shared_ptr<Tree> tree;
        std::uint32_t result = readRegistry(root, path, parts, tree);
        if (result != 0)
            return result;
        if (parts.size() > RegistryFile::kMaxDepth) {
            lastDetail =
                quotedFile(registryFile()) + ": a key path may hold at most 512 names below its root";
            return Error::InvalidParameter;
        }
        for (const std::string& part : parts) {
            std::string problem = RegistryFile::checkName(part);
            if (!problem.empty()) {
                lastDetail = quotedFile(registryFile()) + ": " + problem;
                return Error::InvalidParameter;
            }
        }
        // An existing key is only opened: the file is written when something is created.
        if (!findKey(*tree, root, parts)) {
            result = rewrite(tree, [&](Tree& current, bool& changed) {
                Key* node = RegistryFile::findRoot(current, rootName(root));
                for (const std::string& part : parts) {
                    std::unique_ptr<Key>& child = node->subKeys[RegistryFile::fold(part)];
                    if (!child) {
                        child.reset(new Key);
                        child->name = part;
                        changed = true;
                    }
                    node = child.get();
                }
                return std::uint32_t(0);
            });
            if (result != 0)
                return result;
        }
        openWith(key, std::move(tree), root, std::move(parts), access);
        return 0;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::uint32_t regQueryValue(const RegistryKey& key, const std::string& name, std::uint32_t& type,
                            std::uint8_t* data, std::uint32_t& size) {
    lastDetail.clear();
    const KeyState* state = stateOf(key);
    if (!state)
        return Error::InvalidHandle;
    if (!(state->access & kRegQueryValue))
        return Error::AccessDenied;
    try {
        auto found = state->node->values.find(RegistryFile::fold(name));
        if (found == state->node->values.end())
            return Error::FileNotFound;
        const RegistryFile::Value& value = found->second;
        type = value.type;
        auto needed = static_cast<std::uint32_t>(value.data.size());
        bool fits = data && size >= needed;
        if (fits && needed)
            std::memcpy(data, value.data.data(), needed);
        size = needed;
        return fits || !data ? 0 : Error::MoreData;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::uint32_t regSetValue(const RegistryKey& key, const std::string& name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) {
    lastDetail.clear();
    KeyState* state = stateOf(key);
    if (!state)
        return Error::InvalidHandle;
    if (!(state->access & kRegSetValue))
        return Error::AccessDenied;
    try {
        std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
        std::string problem = RegistryFile::checkName(name);
        if (problem.empty())
            problem = RegistryFile::checkValue(type, bytes);
        if (!problem.empty()) {
            lastDetail = quotedFile(registryFile()) + ": " + problem;
            return Error::InvalidParameter;
        }
        std::shared_ptr<Tree> tree;
        std::uint32_t result = rewrite(tree, [&](Tree& current, bool& changed) {
            Key* node = findKey(current, state->root, state->path);
            if (!node)
                return Error::KeyDeleted;
            RegistryFile::Value& value = node->values[RegistryFile::fold(name)];
            if (value.name.empty())
                value.name = name;
            value.type = type;
            value.data.swap(bytes);
            changed = true;
            return std::uint32_t(0);
        });
        if (result != 0)
            return result;
        // The key sees its own write, as a system key does.
        state->node = findKey(*tree, state->root, state->path);
        state->tree = std::move(tree);
        state->listed = false;
        return 0;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::uint32_t regEnumKey(const RegistryKey& key, std::uint32_t index, char* name, std::uint32_t& length) {
    lastDetail.clear();
    KeyState* state = stateOf(key);
    if (!state)
        return Error::InvalidHandle;
    if (!(state->access & kRegEnumerateSubKeys))
        return Error::AccessDenied;
    try {
        if (!state->listed) {
            state->subKeyNames.clear();
            for (const auto& entry : state->node->subKeys)
                state->subKeyNames.push_back(entry.second->name);
            state->listed = true;
        }
        if (index >= state->subKeyNames.size())
            return Error::NoMoreItems;
        const std::string& found = state->subKeyNames[index];
        if (!name || length < found.size() + 1)
            return Error::MoreData;
        std::memcpy(name, found.c_str(), found.size() + 1);
        length = static_cast<std::uint32_t>(found.size());
        return 0;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::uint32_t regDeleteTree(RegistryRoot root, const std::string& path, std::uint32_t) {
    lastDetail.clear();
    try {
        std::vector<std::string> parts;
        std::uint32_t result = splitPath(path, parts);
        if (result != 0)
            return result;
        if (parts.empty())
            return Error::AccessDenied; // a root key cannot be deleted
        std::shared_ptr<Tree> tree;
        return rewrite(tree, [&](Tree& current, bool& changed) {
            std::string last = RegistryFile::fold(parts.back());
            parts.pop_back();
            Key* parent = findKey(current, root, parts);
            if (!parent || parent->subKeys.erase(last) == 0)
                return Error::FileNotFound;
            changed = true;
            return std::uint32_t(0);
        });
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
}

std::string registrySourceNote(std::string& file) {
    file = registryFile();
    if (::access(file.c_str(), R_OK) == 0)
        return std::string();
    const int error = errno;
    if (error == ENOENT)
        return "no such file (set VELTOR_REGISTRY or create it; see README)";
    std::string reason = std::strerror(error);
    if (!reason.empty())
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason + " (set VELTOR_REGISTRY or fix it; see README)";
}

} // namespace VeltorPlatform
