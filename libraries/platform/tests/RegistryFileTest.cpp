// The POSIX registry file: its reader, its writer and how the seam uses them.
#ifndef _WIN32
#include "platform/RegistryFile.h"
#include "PlatformTestDir.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace VeltorPlatform;
using namespace VeltorPlatform::RegistryFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\n";

Tree parsed(const std::string& text) {
    Tree tree;
    unsigned line = 0;
    std::string reason;
    EXPECT_TRUE(parse(text.data(), text.size(), tree, line, reason)) << "line " << line << ": " << reason;
    return tree;
}

// The value at "ROOT\path", or null.
const Value* lookup(Tree& tree, const std::string& path, const std::string& name) {
    std::istringstream parts(path);
    std::string part;
    std::getline(parts, part, '\\');
    const Key* key = findRoot(tree, part);
    while (key && std::getline(parts, part, '\\')) {
        auto found = key->subKeys.find(fold(part));
        key = found == key->subKeys.end() ? nullptr : found->second.get();
    }
    if (!key)
        return nullptr;
    auto found = key->values.find(fold(name));
    return found == key->values.end() ? nullptr : &found->second;
}

std::string text(Tree& tree, const std::string& path, const std::string& name) {
    const Value* value = lookup(tree, path, name);
    return value ? std::to_string(value->type) + ":" + value->data : "missing";
}

// UTF-8 text (ASCII and two-byte forms are enough here) as UTF-16LE with its byte-order mark.
std::string toUtf16(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned code = static_cast<unsigned char>(utf8[i]);
        if (code >= 0xC0) {
            code = ((code & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        }
        out.push_back(static_cast<char>(code & 0xFF));
        out.push_back(static_cast<char>(code >> 8));
    }
    return out;
}

void writeFile(const fs::path& path, const std::string& content, fs::perms mode = fs::perms(0644)) {
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, mode);
}

TEST(RegistryFileReader, ReadsEveryValueForm) {
    const std::pair<const char*, std::string> cases[] = {
        {"\"a\"=\"C:\\\\Program Files\\\\Veltor \\\"One\\\"\"", "1:C:\\Program Files\\Veltor \"One\"\0"s},
        {"\"a\" = dword:0000001F", "4:\x1f\0\0\0"s},
        {"\"a\"=hex(7):61,00,00,00,\\\n    62,00,00,00,  \\\n  00,00", "7:a\0b\0\0"s},
        {"\"a\"=hex:01,ff,7", "3:\x01\xff\x07"s},
        {"\"a\"=hex(0):", "0:"},
        {"\"a\"=hex(2):25,00,41,00,25,00,00,00", "2:%A%\0"s},
    };
    for (const auto& [entry, expected] : cases) {
        Tree tree = parsed(std::string(kHeader) + "[HKEY_USERS\\X]\n" + entry + "\n");
        EXPECT_EQ(text(tree, "HKEY_USERS\\X", "a"), expected) << entry;
    }
    // The older header keeps text in hex data as narrow bytes.
    Tree older = parsed("REGEDIT4\n\n[HKEY_USERS\\X]\n\"List\"=hex(7):61,00,62,63,00,00\n");
    EXPECT_EQ(text(older, "HKEY_USERS\\X", "List"), "7:a\0bc\0\0"s);
}

TEST(RegistryFileReader, ReadsSectionsCommentsAndDeletions) {
    Tree tree = parsed(std::string("\xEF\xBB\xBF") + "\r\n" + kHeader +
                       "; a comment\r\n"
                       "  ; an indented comment\n"
                       "\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Resources]\r\n"
                       "\"InstallDir\"=\"C:\\\\x\"\r\n"
                       "@=\"default\"   ; trailing comment\n"
                       "[hkey_local_machine\\software\\VELTOR\\resources]\n"
                       "\"installdir\"=\"D:\\\\again\"\n"
                       "[HKEY_CURRENT_USER\\Software\\Old]\n"
                       "\"Gone\"=\"x\"\n"
                       "\"Kept\"=\"y\"\n"
                       "\"Gone\"=-\n"
                       "[HKEY_CURRENT_USER\\Software\\Old\\Removed\\Deep]\n"
                       "[-HKEY_CURRENT_USER\\Software\\Old\\Removed]\n");
    const std::string resources = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Resources";
    // A second section of the same key, written in other case, adds to it; the name first written stays.
    EXPECT_EQ(text(tree, resources, "InstallDir"), "1:D:\\again\0"s);
    EXPECT_EQ(lookup(tree, resources, "INSTALLDIR")->name, "InstallDir");
    EXPECT_EQ(text(tree, resources, ""), "1:default\0"s);
    EXPECT_EQ(text(tree, "HKEY_CURRENT_USER\\Software\\Old", "Gone"), "missing");
    EXPECT_EQ(text(tree, "HKEY_CURRENT_USER\\Software\\Old", "Kept"), "1:y\0"s);
    EXPECT_TRUE(
        findRoot(tree, "HKEY_CURRENT_USER")->subKeys.at("software")->subKeys.at("old")->subKeys.empty());
    EXPECT_FALSE(tree.utf16);
}

TEST(RegistryFileWriter, WritesWhatItReadsBack) {
    Tree tree;
    Key* root = findRoot(tree, "HKEY_LOCAL_MACHINE");
    auto& veltor = root->subKeys["software"];
    veltor.reset(new Key);
    veltor->name = "SOFTWARE";
    auto& leaf = veltor->subKeys["empty leaf"];
    leaf.reset(new Key);
    leaf->name = "Empty Leaf";
    auto add = [&](const std::string& name, std::uint32_t type, const std::string& data) {
        veltor->values[fold(name)] = Value{name, type, data};
    };
    add("", 1, std::string("plain \\ \"quoted\"\0", 17));
    add("Two Lines", 1, std::string("a\nb\0", 4)); // cannot be a quoted string: goes as hex(1)
    add("Trailing", 1, std::string("abc\0\0\0", 6));
    add("NoNul", 1, "abc");
    add("Multi", 7, std::string("\xE2\x82\xAC\0\xF0\x9D\x84\x9E\0\0", 10));
    add("Binary", 3, std::string(100, '\x5a'));
    add("Quad", 11, std::string("\1\2\3\4\5\6\7\x08", 8));
    add("ShortDword", 4, "ab");
    add("Type 1234", 0x1234, "z");
    std::string written = serialise(tree);
    EXPECT_EQ(written.substr(0, 92),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n@=\"plain \\\\ "
              "\\\"quoted\\\"\"\n");
    EXPECT_NE(written.find(
                  "\"Binary\"=hex:5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,"
                  "\\\n  5a,"),
              std::string::npos);
    EXPECT_NE(written.find("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty Leaf]\n"), std::string::npos);
    Tree again = parsed(written);
    EXPECT_EQ(serialise(again), written);
    for (const auto& entry : veltor->values)
        EXPECT_EQ(text(again, "HKEY_LOCAL_MACHINE\\SOFTWARE", entry.second.name),
                  std::to_string(entry.second.type) + ":" + entry.second.data)
            << entry.second.name;
    EXPECT_EQ(checkName("bad \xC3"), "a name that is not valid UTF-8 cannot be stored");
    EXPECT_EQ(checkValue(7, "x\xFF"), "text data that is not valid UTF-8 cannot be stored");
    EXPECT_EQ(checkValue(3, "x\xFF"), "");
}

TEST(RegistryFileReader, NamesTheLineOfEveryMalformedEntry) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n";
    const std::string head = kHeader + key; // the header and a first key line
    std::string deep;
    for (int level = 0; level < 513; ++level)
        deep += "\\k";
    struct Case {
        std::string text;
        unsigned line;
        std::string reason;
    } cases[] = {
        {std::string("\xFF\xFE\n\0\n\0", 6), 2,
         "the file is empty; its first line must be \"Windows Registry Editor Version 5.00\" or "
         "\"REGEDIT4\""},
        {"\n\nREGEDIT5\n", 3,
         "the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""},
        {std::string(kHeader) + "\"a\"=\"b\"\n", 2, "a value before the first key line"},
        {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\n", 3, "a key line must end with ']'"},
        {head + "[HKEY_LOCAL_MACHINE\\\\X]\n", 3,
         "the key path \"HKEY_LOCAL_MACHINE\\\\X\" holds an empty key name"},
        {head + "[HKLM\\X]\n", 3, "unknown root key \"HKLM\""},
        {head + "[HKEY_USERS" + deep + "]\n", 3, "a key path may hold at most 512 names below its root"},
        {head + "[-HKEY_USERS]\n", 3, "a root key cannot be deleted"},
        {head + "a=\"b\"\n", 3, "expected a quoted value name, '@', '[' or ';' at \"a=\"b\"\""},
        {head + "\"a\" \"b\"\n", 3, "expected '=' after the value name"},
        {head + "\"a\"=\"C:\\Temp\"\n", 3,
         "unknown escape \"\\T\" in a string (a backslash is written \\\\)"},
        {head + "\"a\"=\"open\n", 3, "a string has no closing quote"},
        {head + "\"a\"=\"b\" c\n", 3, "unexpected text after the value: \"c\""},
        {head + "\"a\"=dword:123456789\n", 3, "a dword needs 1 to 8 hexadecimal digits"},
        {head + "\"a\"=dword:\n", 3, "a dword needs 1 to 8 hexadecimal digits"},
        {head + "\"a\"=hex(x):00\n", 3, "expected hex(n): with a hexadecimal type number"},
        {head + "\"a\"=hex;00\n", 3, "expected ':' after hex"},
        {head + "\n\"a\"=hex:00,\\\n  01,zz\n", 4, "expected a hexadecimal byte"},
        {head + "\"a\"=hex:00,\\\n", 3, "the file ends inside a continued line"},
        {head + "\"a\"=hex(7):61,00,62\n", 3, "UTF-16 text data needs an even number of bytes"},
        {head + "\"a\"=hex(1):00,d8,00,00\n", 3, "the UTF-16 text data holds an unpaired surrogate"},
        {"REGEDIT4\n" + key + "\"a\"=hex(7):ff,00\n", 3, "the text data is not valid UTF-8"},
        {head + "\"a\"=qword:1\n", 3,
         "unrecognised value data (expected \"text\", dword:, hex:, hex(n): or -)"},
        {head + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"a\"=\"b\"\n", 4, "a value below a key deletion"},
        {head + std::string("\"a\"=\"b\0\"\n", 8), 3,
         "the file holds a NUL character (binary data, or UTF-16 text without its byte-order mark)"},
        {head + "\"caf\xE9\"=\"b\"\n", 3, "the text is not valid UTF-8; save the file as UTF-8 or UTF-16LE"},
        {"\xFE\xFF\0W", 1, "UTF-16 big-endian text is not supported; save the file as UTF-8 or UTF-16LE"},
        {toUtf16(head) + std::string("\x00\xD8\n\0", 4), 3, "the UTF-16 text holds an unpaired surrogate"},
        {toUtf16(head) + "a", 3, "the UTF-16 text is cut off in the middle of a character"},
    };
    for (const Case& c : cases) {
        Tree tree;
        unsigned line = 0;
        std::string reason;
        EXPECT_FALSE(parse(c.text.data(), c.text.size(), tree, line, reason)) << c.text;
        EXPECT_EQ(line, c.line) << c.text;
        EXPECT_EQ(reason, c.reason) << c.text;
    }
}

class RegistryFileSeam : public PlatformTestDir {
protected:
    void SetUp() override {
        PlatformTestDir::SetUp();
        file = root / "registry.reg";
        setenv("VELTOR_REGISTRY", file.c_str(), 1);
    }
    fs::path file;
};

TEST_F(RegistryFileSeam, MissingFileIsAnEmptyRegistry) {
    RegistryKey key;
    ASSERT_EQ(regOpenKey(RegistryRoot::LocalMachine, "", kRegRead, key), 0u);
    char name[16];
    std::uint32_t length = sizeof name;
    EXPECT_EQ(regEnumKey(key, 0, name, length), 259u);
    EXPECT_EQ(regOpenKey(RegistryRoot::LocalMachine, "\\SOFTWARE", kRegRead, key), 161u);
    std::string deep = "k";
    for (int level = 1; level < 513; ++level)
        deep += "\\k";
    EXPECT_EQ(regCreateKey(RegistryRoot::LocalMachine, deep, kRegWrite, key), 87u);
    EXPECT_EQ(registryErrorDetail(), "Registry file \"" + file.string() +
                                         "\": a key path may hold at most 512 names below its root");
    EXPECT_FALSE(fs::exists(file));
}

// The registry decides what gets deleted: a file that a third user could change or replace, through the
// file itself or any directory above its real path, is not read. Root's sticky directories (/tmp) are fine.
// (A file of another user, a group-writable directory, a link into one and a FIFO: the black-box suite.)
TEST_F(RegistryFileSeam, RefusesFilesThatOthersCouldChangeOrReplace) {
    const bool asRoot = ::geteuid() == 0;
    const std::string original = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]\n";
    const fs::path shared = root / "shared";
    const std::string sharedWritable = "may write the directory \"" + shared.string() + "\"";
    struct Case {
        const char* what;
        int sharedMode;
        int fileMode;
        bool linked;        // the file lies above "shared", VELTOR_REGISTRY names a link to it in there
        bool sharedForeign; // "shared" is handed to uid 65534 (needs root)
        std::string reason; // what the refusal names; empty when accepted
    };
    const Case cases[] = {
        {"group-writable file", 0755, 0664, false, false, "may write it"},
        {"file others may write", 0755, 0646, false, false, "may write it"},
        {"others may write the directory", 0757, 0644, false, false, sharedWritable},
        // Only root's sticky directories count as safe.
        {"sticky directory writable by all", 01777, 0644, false, false, asRoot ? "" : sharedWritable},
        {"link in a directory others may write to a safe file", 0777, 0644, true, false, ""},
        {"directory of another user", 0755, 0644, false, true,
         "the directory \"" + shared.string() + "\" belongs to uid 65534"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.sharedForeign && !asRoot)
            continue;
        std::error_code ignored;
        fs::remove_all(shared, ignored);
        fs::create_directory(shared);
        const fs::path real = root / (c.linked ? "real.reg" : "shared/real.reg");
        writeFile(real, original, fs::perms(c.fileMode));
        fs::path named = real;
        if (c.linked) {
            named = shared / "link.reg";
            fs::create_symlink(real, named);
        }
        if (c.sharedForeign) {
            ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
        }
        fs::permissions(shared, fs::perms(c.sharedMode));
        setenv("VELTOR_REGISTRY", named.c_str(), 1);
        RegistryKey key;
        const std::uint32_t result =
            regOpenKey(RegistryRoot::LocalMachine, "SOFTWARE\\Veltor", kRegRead, key);
        if (c.reason.empty()) {
            EXPECT_EQ(result, 0u) << registryErrorDetail();
            continue;
        }
        EXPECT_EQ(result, 5u);
        EXPECT_NE(registryErrorDetail().find(c.reason), std::string::npos) << registryErrorDetail();
    }
}

TEST_F(RegistryFileSeam, MalformedFileIsNeverReadOrReplaced) {
    const std::string original =
        std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]\n\n\"x\"=oops\n";
    writeFile(file, original);
    RegistryKey key;
    EXPECT_EQ(regOpenKey(RegistryRoot::LocalMachine, "SOFTWARE\\Veltor", kRegRead, key), 1009u);
    const std::string detail = registryErrorDetail();
    EXPECT_NE(detail.find("\", line 4: unrecognised value data"), std::string::npos) << detail;
    EXPECT_EQ(regCreateKey(RegistryRoot::LocalMachine, "SOFTWARE\\Other", kRegWrite, key), 1009u);
    EXPECT_EQ(registryErrorDetail(), detail);
    EXPECT_EQ(regDeleteTree(RegistryRoot::LocalMachine, "SOFTWARE\\Veltor", 0), 1009u);
    EXPECT_EQ(content("registry.reg"), original);
    // A later successful call clears the detail.
    writeFile(file, kHeader);
    EXPECT_EQ(regOpenKey(RegistryRoot::LocalMachine, "", kRegRead, key), 0u);
    EXPECT_EQ(registryErrorDetail(), "");
}

TEST_F(RegistryFileSeam, WritesReplaceTheFileAndKeepItsFormAndMode) {
    fs::path target = root / "real.reg";
    // UTF-16 with names beyond ASCII: a name read wrong would come back as a key of its own.
    writeFile(target,
              toUtf16(std::string(kHeader) +
                      "; gone after a write\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xC3\xA9]\r\n"),
              fs::perms(0600));
    fs::create_symlink(target, file);
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RegistryRoot::LocalMachine, "SOFTWARE\\CAF\xC3\xA9\\B", kRegWrite | kRegRead, key),
              0u);
    const std::string value = "v";
    ASSERT_EQ(regSetValue(key, "Name", kRegString, reinterpret_cast<const std::uint8_t*>(value.c_str()), 2),
              0u);
    // A name the file cannot hold is refused before anything is written.
    EXPECT_EQ(regSetValue(key, "a\nb", kRegString, reinterpret_cast<const std::uint8_t*>(value.c_str()), 2),
              87u);
    EXPECT_EQ(registryErrorDetail(),
              "Registry file \"" + file.string() + "\": a name with a line break cannot be stored");

    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
    EXPECT_EQ(content("real.reg"),
              toUtf16("Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xC3\xA9\\B]\r\n\"Name\"=\"v\"\r\n\r\n"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"real.reg", "real.reg.lock", "registry.reg"}));

    // Another writer's change in between is kept: every write starts from the file as it is.
    RegistryKey other;
    ASSERT_EQ(regCreateKey(RegistryRoot::LocalMachine, "SOFTWARE\\C", kRegWrite, other), 0u);
    ASSERT_EQ(regSetValue(key, "Second", kRegString, reinterpret_cast<const std::uint8_t*>(value.c_str()), 2),
              0u);
    EXPECT_EQ(regOpenKey(RegistryRoot::LocalMachine, "SOFTWARE\\C", kRegRead, other), 0u);
    // A key deleted by someone else cannot take values any more.
    ASSERT_EQ(regDeleteTree(RegistryRoot::LocalMachine, "SOFTWARE\\Caf\xC3\xA9", 0), 0u);
    EXPECT_EQ(regSetValue(key, "Third", kRegString, reinterpret_cast<const std::uint8_t*>(value.c_str()), 2),
              1018u);
}

} // namespace
#endif
