// File locks on Windows: LockFileEx over the whole of the open lock file.
#include "platform/file_lock.h"
#include "platform/native_handle_win32.h"
#include "platform/win32_error.h"

namespace platform {

FileLock::FileLock(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = LastErrorText("cannot open the lock file " + path);
        return;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error_ = LastErrorText("cannot lock " + path);
        CloseHandle(file);
        return;
    }
    handle_ = FromWinHandle(file);
    held_ = true;
}

FileLock::~FileLock() {
    if (held_)
        CloseHandle(WinHandle(handle_));  // closing releases the lock
}

}  // namespace platform
