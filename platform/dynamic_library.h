// Loading shared libraries at run time, the stand-in for LoadLibraryA / GetProcAddress.
//
// Callers name libraries as the product always has ("Emmc.dll", "<folder>\DIFxAPI.dll"); the
// name's file part maps to the platform's form (libEmmc.so). A bare name is searched first in
// the program directory, then along the system's usual paths; a name with a folder is loaded
// from that folder only.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// "Emmc.dll" -> "libEmmc.so", "drivers\DIFxAPI.dll" -> "drivers/libDIFxAPI.so"; a name that does
// not end in ".dll" is taken as a platform name and kept.
std::string SharedLibraryPath(std::string_view windows_name);

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Free(); }
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library (freeing one held before). False when it cannot load, with error()
    // giving every place tried and the system's reason for each.
    bool Load(std::string_view windows_name);
    // The address of an exported symbol, or null when the library is not loaded or lacks it.
    void* Symbol(const char* name) const;
    void Free();

    bool is_loaded() const { return handle_ != nullptr; }
    // The file the loaded library was opened as: a path, or a bare name the system found.
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

  private:
    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
};

}  // namespace platform
