#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

// The nice value that stands for each Windows level, or false for a level Windows rejects.
bool NiceValueOf(int priority, int& nice) {
    switch (priority) {
        case kThreadPriorityIdle:
            nice = 19;
            return true;
        case kThreadPriorityLowest:
            nice = 10;
            return true;
        case kThreadPriorityBelowNormal:
            nice = 5;
            return true;
        case kThreadPriorityNormal:
            nice = 0;
            return true;
        case kThreadPriorityAboveNormal:
            nice = -5;
            return true;
        case kThreadPriorityHighest:
            nice = -10;
            return true;
        case kThreadPriorityTimeCritical:
            nice = -20;
            return true;
        default:
            return false;
    }
}

}  // namespace

ThreadId CurrentThreadId() {
    return static_cast<ThreadId>(syscall(SYS_gettid));
}

bool SetThreadPriority(ThreadId thread, int priority) {
    int nice = 0;
    if (thread <= 0 || !NiceValueOf(priority, nice))
        return false;
    // On Linux the nice value belongs to each thread, addressed by its thread id.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

}  // namespace platform
