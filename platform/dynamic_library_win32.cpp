// Dynamic libraries on Windows: LoadLibraryA, GetProcAddress, FreeLibrary.
#include <windows.h>

#include <utility>

#include "platform/dynamic_library.h"
#include "platform/paths.h"
#include "platform/win32_error.h"

namespace platform {

std::string SharedLibraryPath(std::string_view windows_name) {
    return NativePath(windows_name);
}

bool DynamicLibrary::Load(std::string_view windows_name) {
    Free();
    error_.clear();
    const std::string path = SharedLibraryPath(windows_name);
    // Each failed attempt adds its reason. A library with a folder has its own dependencies
    // looked for beside it; no failure shows a dialog box of the system.
    const auto attempt = [this](const std::string& file, std::string_view where) {
        const bool has_folder = file.find_first_of("\\/") != std::string::npos;
        DWORD previous_mode = 0;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
        HMODULE module =
            LoadLibraryExA(file.c_str(), nullptr, has_folder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
        const DWORD failure = GetLastError();
        SetThreadErrorMode(previous_mode, nullptr);
        if (module != nullptr) {
            handle_ = reinterpret_cast<void*>(module);
            path_ = file;
            error_.clear();
            return true;
        }
        if (!error_.empty())
            error_ += "; ";
        error_ += std::string(where) + "cannot load " + file + ": " + WindowsErrorText(failure);
        return false;
    };
    if (path.find_first_of("\\/") != std::string::npos)
        return attempt(path, "");
    return attempt(JoinPath(ProgramDirectory(), path), "") ||
           attempt(path, "along the system's library paths: ");
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::Free() {
    if (handle_ != nullptr)
        FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
    path_.clear();
}

}  // namespace platform
