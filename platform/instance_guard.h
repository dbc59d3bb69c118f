// The instance guard: the stand-in for the named semaphore that keeps a second copy of the
// station from starting while one runs.
//
// A guard is known by its name within a folder (the settings store's folder of this user, so a
// station and its registry go together). Taking it is a lock that the operating system holds for
// the process and drops when the process ends, however it ends: a crashed station never leaves
// anything behind that blocks the next start.
//
// On Windows the guard is the named semaphore itself (CreateSemaphoreA): the station's guard,
// in the system registry's store, is named as given ("QUEX"); a guard in a folder of hive files
// (tests, trials) has the folder in its name, so that it meets only the guards of that folder.
//
// Threads: one guard object is used by one thread; taking never waits.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class InstanceGuard {
  public:
    enum class Result {
        kTaken,          // this process holds the guard now
        kHeldElsewhere,  // another process (or another guard object of this one) holds it
        kFailed,         // the lock could not be made at all; error() says why
    };

    // A guard named `name` in `folder`; nothing is taken yet.
    InstanceGuard(std::string folder, std::string name);
    // Releases the guard when this object holds it.
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Takes the guard without waiting; creates the folder when it is missing. Taking a guard
    // this object already holds answers kTaken again.
    Result Take();
    bool held() const { return handle_ != kNoHandle; }
    const std::string& error() const { return error_; }
    // What carries the lock: the lock file on POSIX, the semaphore's name on Windows.
    std::string LockPath() const;

  private:
    static constexpr std::intptr_t kNoHandle = -1;

    std::string folder_;
    std::string name_;
    std::intptr_t handle_ = kNoHandle;  // the backend's handle of the held lock
    std::string error_;
};

}  // namespace platform
