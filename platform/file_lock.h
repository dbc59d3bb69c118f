// An exclusive lock on a lock file, held for the object's life: the stand-in for a file opened
// and locked with LockFileEx. The lock file is created when missing and stays after the lock is
// released. Processes (and threads) that lock the same file take turns.
//
// Blocking: the constructor waits while another holder has the lock. Threads: one object is used
// by one thread.
#pragma once

#include <string>

#include "platform/native_handle.h"

namespace platform {

class FileLock {
  public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the file could not be opened or locked; error() says why.
    bool held() const { return held_; }
    const std::string& error() const { return error_; }

  private:
    NativeHandle handle_{};
    bool held_ = false;
    std::string error_;
};

}  // namespace platform
