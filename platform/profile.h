// Profile (INI) reader with the rules of the Windows profile functions.
//
// config.ini is written and checked by sites on Windows stations, so it must read exactly as
// GetPrivateProfileStringA / GetPrivateProfileIntA read it, not as a general INI parser would:
// - the file is split at LF and at CR; white space (and Ctrl-Z) around every line is ignored;
// - a line starting with '[' and holding a ']' opens a section named by the text between the '['
//   and the last ']', white space around it trimmed;
// - any other line is a key: its name runs to the first '=', its value follows it; white space
//   around both is trimmed, so a line "=value" is the key of the empty name; a line without '='
//   is a key without a value (lookups of it yield the default); there are no comments of any
//   kind, so a ';' is part of a name or value;
// - section and key names compare without regard to (ASCII) case; the first section of the
//   name is the only one searched and its first matching key wins;
// - a value (or default) enclosed in one pair of matching double or single quotes loses them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The longest profile file read. A station's config.ini is a few kilobytes; a file larger than
// this is no configuration and is read as a missing one.
inline constexpr std::size_t kMaxProfileFileSize = 1024 * 1024;

// The raw value of `key` in `section` of the profile text `contents`, before quote removal;
// none when the section, the key or its '=' is missing.
std::optional<std::string_view> FindProfileValue(std::string_view contents,
                                                 std::string_view section, std::string_view key);

// The characters of the buffer GetPrivateProfileIntA reads a value into.
inline constexpr std::size_t kProfileIntBufferSize = 30;

// What GetPrivateProfileStringA answers for a file whose text is `contents` (none: no such
// file), into a buffer of `buffer_size` characters: at most buffer_size - 1 of them. A missing
// file, section or key yields `default_value` (trailing blanks removed).
std::string ProfileString(const std::optional<std::string>& contents, std::string_view section,
                          std::string_view key, std::string_view default_value,
                          std::size_t buffer_size);

// GetPrivateProfileStringA itself on Windows; on POSIX ProfileString over the file at `path`
// (read as a missing file when it is no regular file of at most kMaxProfileFileSize bytes).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, std::size_t buffer_size,
                                    const std::string& path);

// GetPrivateProfileIntA itself on Windows; on POSIX `default_value` for a missing or empty value,
// otherwise the value read as an integer (ParseProfileInt).
int GetPrivateProfileInt(std::string_view section, std::string_view key, int default_value,
                         const std::string& path);

// The integer reading of the Windows call: leading white space skipped, an optional sign, a
// "0x" (hex), "0o" (octal) or "0b" (binary) prefix, digits up to the first one that does not fit,
// 0 when there are none; wraps modulo 2^32. Only the first kProfileIntBufferSize - 1 characters
// take part, as the Windows call reads the value into a buffer of that size.
int ParseProfileInt(std::string_view text);

}  // namespace platform
