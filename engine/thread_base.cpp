#include "engine/thread_base.h"

#include <system_error>

namespace fendrel {

CThreadBase::~CThreadBase() {
    Join();
    // Only an object destroyed by its own thread gets here with a joinable thread.
    if (thread_.joinable())
        thread_.detach();
}

bool CThreadBase::Start() {
    if (IsRunning())
        return true;
    Join();
    running_ = true;
    thread_id_ = 0;
    try {
        thread_ = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    // The thread id is what SetPriority needs; the owner calls it right after Start.
    std::unique_lock lock(id_mutex_);
    id_known_.wait(lock, [this] { return thread_id_.load() != 0; });
    return true;
}

void CThreadBase::ThreadMain() {
    {
        const std::lock_guard lock(id_mutex_);
        thread_id_ = platform::CurrentThreadId();
    }
    id_known_.notify_all();
    try {
        Run();
    } catch (...) {
        // Run reports its failures itself; nothing may cross the thread's edge.
    }
    running_ = false;
}

bool CThreadBase::IsRunning() const {
    return running_.load();
}

bool CThreadBase::SetPriority(int priority) {
    if (!IsRunning())
        return false;
    return platform::SetThreadPriority(thread_id_.load(), priority);
}

void CThreadBase::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

}  // namespace fendrel
