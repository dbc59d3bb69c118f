// CIniFile: the reader of config.ini. Each user makes its own, bound to one path.
#pragma once

#include <string>
#include <string_view>

#include "app/config_keys.h"

namespace fendrel {

class CIniFile {
  public:
    // Longest value GetString returns: the Windows call fills a 1024-byte buffer.
    static constexpr std::size_t kMaxValueLength = 1023;

    explicit CIniFile(std::string path) : path_(std::move(path)) {}
    virtual ~CIniFile() = default;

    // The value of `key` in `section`, cut to kMaxValueLength characters; `default_value` when
    // the file, section or key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view default_value) const;
    // The value read as an integer; `default_value` when missing or empty, 0 when not a number.
    int GetInt(std::string_view section, std::string_view key, int default_value) const;

    // The same reads for a key of the key table, with the table's default.
    std::string GetString(const config::TextKey& key) const;
    int GetInt(const config::IntKey& key) const;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The program directory followed by "config.ini".
std::string ConfigFilePath();

}  // namespace fendrel
