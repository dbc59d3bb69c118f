// The profile functions on Windows: GetPrivateProfileStringA and GetPrivateProfileIntA themselves.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/profile.h"

// <windows.h> names the ANSI calls by macros of the same names as the functions of profile.h.
#undef GetPrivateProfileString
#undef GetPrivateProfileInt

namespace platform {
namespace {

// Given a bare or relative name the Windows calls look in the Windows folder; the product always
// means the file as the path names it from the current folder.
std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, std::size_t buffer_size,
                                    const std::string& path) {
    if (buffer_size == 0)
        return {};
    const std::string section_name(section);
    const std::string key_name(key);
    const std::string fallback(default_value);
    std::vector<char> buffer(std::min<std::size_t>(buffer_size, INT_MAX));
    const DWORD length = ::GetPrivateProfileStringA(
        section_name.c_str(), key_name.c_str(), fallback.c_str(), buffer.data(),
        static_cast<DWORD>(buffer.size()), FullPath(path).c_str());
    return std::string(buffer.data(), std::min<std::size_t>(length, buffer.size() - 1));
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int default_value,
                         const std::string& path) {
    const std::string section_name(section);
    const std::string key_name(key);
    return static_cast<int>(::GetPrivateProfileIntA(section_name.c_str(), key_name.c_str(),
                                                    default_value, FullPath(path).c_str()));
}

}  // namespace platform
