#include "app/ini_file.h"

#include "platform/paths.h"
#include "platform/profile.h"

namespace fendrel {

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
    return platform::GetPrivateProfileString(section, key, default_value, kMaxValueLength + 1,
                                             path_);
}

int CIniFile::GetInt(std::string_view section, std::string_view key, int default_value) const {
    return platform::GetPrivateProfileInt(section, key, default_value, path_);
}

std::string CIniFile::GetString(const config::TextKey& key) const {
    return GetString(key.section, key.name, key.default_value);
}

int CIniFile::GetInt(const config::IntKey& key) const {
    return GetInt(key.section, key.name, key.default_value);
}

std::string ConfigFilePath() {
    return platform::ProgramDirectory() + "config.ini";
}

}  // namespace fendrel
