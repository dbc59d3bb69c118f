// Thread priorities on Windows: SetThreadPriority itself, on a thread opened by its id.
#include <windows.h>

#include "platform/thread_priority.h"

namespace platform {
namespace {

bool IsWindowsLevel(int priority) {
    switch (priority) {
        case kThreadPriorityIdle:
        case kThreadPriorityLowest:
        case kThreadPriorityBelowNormal:
        case kThreadPriorityNormal:
        case kThreadPriorityAboveNormal:
        case kThreadPriorityHighest:
        case kThreadPriorityTimeCritical:
            return true;
        default:
            return false;
    }
}

}  // namespace

ThreadId CurrentThreadId() {
    return static_cast<ThreadId>(GetCurrentThreadId());
}

bool SetThreadPriority(ThreadId thread, int priority) {
    if (thread <= 0 || !IsWindowsLevel(priority))
        return false;
    HANDLE handle = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(thread));
    if (handle == nullptr)
        return false;
    const bool set = ::SetThreadPriority(handle, priority) != FALSE;
    CloseHandle(handle);
    return set;
}

}  // namespace platform
