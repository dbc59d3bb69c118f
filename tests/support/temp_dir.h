// Test helpers for files: a private temporary folder and whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace fendrel::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in a separator (the form of the program directory).
    const std::string& path() const { return path_; }
    // path() followed by `name`.
    std::string File(std::string_view name) const { return path_ + std::string(name); }

  private:
    std::string path_;
};

// Writes `bytes` to `path`, creating folders on the way; fails the running test on error.
void WriteFile(const std::string& path, std::string_view bytes);
// The file's bytes; fails the running test when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace fendrel::testing
