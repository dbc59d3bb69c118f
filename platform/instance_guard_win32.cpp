// The instance guard on Windows: a named semaphore of one count, held by creating it first.
// Windows removes it with the last handle, so a crashed station leaves nothing behind.
#include <windows.h>

#include <algorithm>

#include "platform/instance_guard.h"
#include "platform/win32_error.h"

namespace platform {

InstanceGuard::InstanceGuard(std::string folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {}

InstanceGuard::~InstanceGuard() {
    if (held())
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::string InstanceGuard::LockPath() const {
    if (folder_.empty())
        return name_;
    // A kernel object's name holds no backslash.
    std::string folder = folder_;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return name_ + "@" + folder;
}

InstanceGuard::Result InstanceGuard::Take() {
    if (held())
        return Result::kTaken;
    const std::string name = LockPath();
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    if (semaphore == nullptr) {
        error_ = LastErrorText("cannot create the semaphore " + name);
        return Result::kFailed;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(semaphore);
        return Result::kHeldElsewhere;
    }
    handle_ = reinterpret_cast<std::intptr_t>(semaphore);
    error_.clear();
    return Result::kTaken;
}

}  // namespace platform
