// The profile functions on POSIX: the reader of profile.cpp over the file's bytes.
#include "platform/files.h"
#include "platform/profile.h"

namespace platform {

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, std::size_t buffer_size,
                                    const std::string& path) {
    return ProfileString(ReadFileBytes(path, kMaxProfileFileSize), section, key, default_value,
                         buffer_size);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int default_value,
                         const std::string& path) {
    const std::string value =
        GetPrivateProfileString(section, key, "", kProfileIntBufferSize, path);
    if (value.empty())
        return default_value;
    return ParseProfileInt(value);
}

}  // namespace platform
