// The hive file of the settings store: one registry hive held in memory, and its text in the
// ".reg" export format.
//
// A hive file reads as a registry export does:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Fendrel]
//   "iPass"=dword:00000002
//   "sPath"="C:\\images\\"
//
// Strings are quoted with \\ and \" escaped; a string holding control characters (which a quoted
// line cannot carry) is written as hex(1): its bytes and a terminating 00. Values of other types
// ("hex:", "hex(N):", continued over lines ending in '\') are kept as read. A UTF-8 byte order
// mark, CR LF or LF line ends, blank lines and ';' comment lines are accepted (a comment ends at
// its line's end, backslash or not). A file is a state, not a patch: deletions ("[-key]",
// "name"=-) do not parse. Key and value names compare without regard to (ASCII) case and keep
// the case they were created with. Keys, names and depths stay within the limits of the Windows
// registry, so a hive always imports there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/ascii.h"

namespace platform {

// The limits of the Windows registry: the characters of one key name (a path holds many), of a
// value name, and how many levels a key may lie below its hive's root.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    std::string name;  // empty for the key's default value ("@" in the file)
    std::uint32_t type = kRegSz;
    // kRegSz: the text without a terminator; kRegDword: four bytes, little-endian; any other
    // type: its bytes as read.
    std::string data;

    static RegistryValue Dword(std::string_view name, std::uint32_t number);
    static RegistryValue String(std::string_view name, std::string_view text);

    // The number of a well-formed REG_DWORD, the text of a REG_SZ; none for any other value.
    std::optional<std::uint32_t> dword() const;
    std::optional<std::string> text() const;
};

struct RegistryKey {
    std::string path;                   // below the hive's root, names joined by '\'
    std::vector<RegistryValue> values;  // in the order they were first set

    const RegistryValue* FindValue(std::string_view name) const;
    // Replaces the value of the same name, or appends it.
    void SetValue(RegistryValue value);
};

// The keys of a hive, found by path in constant time whatever their number.
class RegistryHive {
  public:
    const RegistryKey* FindKey(std::string_view path) const;
    RegistryKey* FindKey(std::string_view path);
    // The key at `path`, added with every missing parent before it when it does not exist yet.
    // `path` must satisfy IsValidKeyPath.
    RegistryKey& AddKey(std::string_view path);

    // Every key, parents before their children.
    const std::vector<RegistryKey>& keys() const { return keys_; }

  private:
    std::vector<RegistryKey> keys_;
    // Each key's place in keys_, by its path in any case.
    std::unordered_map<std::string, std::size_t, AsciiCaseInsensitiveHash,
                       AsciiCaseInsensitiveEqual>
        index_;
};

// Why `path` names no key, or empty when it does: one to kMaxKeyDepth names joined by single
// '\', each of 1 to kMaxKeyNameLength characters and free of control characters.
std::string KeyPathProblem(std::string_view path);
inline bool IsValidKeyPath(std::string_view path) {
    return KeyPathProblem(path).empty();
}
// Why no value of this name can be stored, or empty when it can: free of control characters,
// at most kMaxValueNameLength long.
std::string ValueNameProblem(std::string_view name);
inline bool IsValidValueName(std::string_view name) {
    return ValueNameProblem(name).empty();
}

// The hive in `text`, whose sections must all lie below `root` (for example
// "HKEY_LOCAL_MACHINE"). On a text that does not parse: none, and `error` says on which line
// and why. A section whose parents are not listed gets them, as an import would create them.
std::optional<RegistryHive> ParseRegFile(std::string_view text, std::string_view root,
                                         std::string* error = nullptr);

// The text of `hive` below `root`, CR LF line ends, a blank line after every key.
std::string FormatRegFile(const RegistryHive& hive, std::string_view root);

}  // namespace platform
