// The POSIX registry's file format (POSIX build only): the .reg export format.
//
//   Windows Registry Editor Version 5.00        (or REGEDIT4; blank lines may come before it)
//   ; a comment                                 (a line whose first non-blank character is ';')
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Veltor]        (a key; missing parents are created)
//   [-HKEY_LOCAL_MACHINE\SOFTWARE\Old]          (deletes the key with everything below it)
//   "InstallDir"="C:\\Veltor \"One\""           (string, type 1; escapes \\ and \" only)
//   @="text"                                    (the key's default value)
//   "Count"=dword:0000001f                      (type 4)
//   "Dirs"=hex(7):61,00,00,00,62,00,00,00,\     (any type as bytes; hex: is type 3; a trailing
//     00,00                                      backslash continues a line on the next one)
//   "Gone"=-                                    (deletes the value)
//
// The file is UTF-8 (an optional UTF-8 byte-order mark is skipped) or UTF-16LE with its byte-order mark;
// either way the text must be valid, without NUL characters. String values are narrow UTF-8 text. The
// bytes of hex(1), hex(2) and hex(7) values are UTF-16LE in a 5.00 file and narrow text in a REGEDIT4
// file. Root names are the six full HKEY_ names. Names compare case-insensitively (ASCII letters).
// Anything else is an error naming the line where the offending entry starts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace VeltorPlatform {
namespace RegistryFile {

struct Value {
    std::string name; // as written first
    std::uint32_t type = 0;
    std::string data; // raw bytes as a query answers them
};

struct Key {
    std::string name;                                    // as written first
    std::map<std::string, std::unique_ptr<Key>> subKeys; // by folded name: the enumeration order
    std::map<std::string, Value> values;                 // by folded name
};

// The whole registry: the root's sub-keys are the root keys, by their full names.
struct Tree {
    Key root;
    bool utf16 = false; // the file was UTF-16LE; a rewrite keeps that
};

// Keys nest at most this deep below their root, as on Windows; deeper paths are refused (the tree and its
// writer recurse along a path).
constexpr std::size_t kMaxDepth = 512;

// ASCII lower case: the form names are compared in.
std::string fold(const std::string& name);

// The root's sub-key for a root key name ("HKEY_LOCAL_MACHINE", any case); null for any other name.
Key* findRoot(Tree& tree, const std::string& rootName);

// Parses a file's bytes. On failure returns false with the 1-based line and the reason.
bool parse(const char* data, std::size_t size, Tree& tree, unsigned& errorLine, std::string& errorReason);

// The file's bytes in canonical form; parse() reads them back to the same tree, provided every name and
// value passed the checks below (a parsed tree always does).
std::string serialise(const Tree& tree);

// Whether a name or a value can be stored in the file: "" when it can, otherwise the reason (names
// must be UTF-8 without line breaks, text data UTF-8).
std::string checkName(const std::string& name);
std::string checkValue(std::uint32_t type, const std::string& data);

} // namespace RegistryFile
} // namespace VeltorPlatform
