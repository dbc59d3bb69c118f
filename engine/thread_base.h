// A class whose object runs its Run() on a thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread_priority.h"

namespace fendrel {

class CThreadBase {
  public:
    CThreadBase() = default;
    // Waits for a thread that still runs. A derived class whose Run uses its own members must
    // end and join the thread in its own destructor (see Join): by the time this one runs, the
    // derived part is gone.
    virtual ~CThreadBase();
    CThreadBase(const CThreadBase&) = delete;
    CThreadBase& operator=(const CThreadBase&) = delete;

    // Starts a thread that calls Run. While a thread still runs this starts nothing and returns
    // true; an earlier thread that has returned is joined first. False when no thread could be
    // created. Called from the owner's thread; returns once the thread exists.
    bool Start();
    // Whether a started thread has not yet returned from Run. Never blocks; any thread.
    bool IsRunning() const;
    // Sets the running thread's priority (a Windows level, platform/thread_priority.h). False
    // without a running thread, for an unknown level, or when the system refuses it.
    bool SetPriority(int priority);

    // The thread body. Must not throw; an exception that escapes is swallowed at the thread's
    // edge so that it never crosses into the owner.
    virtual void Run() = 0;

  protected:
    // Blocks until the thread (if any) has returned from Run. Call from the owner's thread only.
    void Join();

  private:
    void ThreadMain();

    std::thread thread_;
    // Start waits for the new thread's id with a condition variable: waiting on the atomic
    // itself (std::atomic::wait) never wakes under MinGW's run-time on Wine.
    std::mutex id_mutex_;
    std::condition_variable id_known_;
    std::atomic<platform::ThreadId> thread_id_{0};
    std::atomic<bool> running_{false};
};

}  // namespace fendrel
