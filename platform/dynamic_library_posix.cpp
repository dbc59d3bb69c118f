#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <utility>

#include "platform/paths.h"

namespace platform {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    text.remove_prefix(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != suffix[i])
            return false;
    }
    return true;
}

}  // namespace

std::string SharedLibraryPath(std::string_view windows_name) {
    const std::string native = NativePath(windows_name);
    const std::size_t slash = native.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? "" : native.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? native : native.substr(slash + 1);
    if (!EndsWithIgnoringCase(file, ".dll"))
        return native;  // already in the platform's form
    file.resize(file.size() - 4);
    return folder + "lib" + file + ".so";
}

bool DynamicLibrary::Load(std::string_view windows_name) {
    Free();
    error_.clear();
    const std::string path = SharedLibraryPath(windows_name);
    // Each failed attempt adds its reason; the loader's own text names the file it tried.
    const auto attempt = [this](const std::string& file, std::string_view where) {
        handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            path_ = file;
            error_.clear();
            return true;
        }
        const char* reason = dlerror();
        if (!error_.empty())
            error_ += "; ";
        error_ += std::string(where) + (reason != nullptr ? reason : "cannot load " + file);
        return false;
    };
    if (path.find(kPathSeparator) != std::string::npos)
        return attempt(path, "");
    return attempt(JoinPath(ProgramDirectory(), path), "") ||
           attempt(path, "along the system's library paths: ");
}

void* DynamicLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void DynamicLibrary::Free() {
    if (handle_ != nullptr)
        dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

}  // namespace platform
