// Thread priorities, the stand-in for SetThreadPriority.
//
// Callers speak in the Windows priority levels; the POSIX backend maps each to a nice value of
// the thread. Raising a thread above normal needs the privilege to do so (root or CAP_SYS_NICE);
// without it the call fails and the thread keeps running at its old priority.
#pragma once

namespace platform {

// The Windows levels callers use.
inline constexpr int kThreadPriorityIdle = -15;
inline constexpr int kThreadPriorityLowest = -2;
inline constexpr int kThreadPriorityBelowNormal = -1;
inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityAboveNormal = 1;
inline constexpr int kThreadPriorityHighest = 2;
inline constexpr int kThreadPriorityTimeCritical = 15;

// The operating system's id of a thread (a Linux thread id), 0 for none.
using ThreadId = long;

// The id of the calling thread.
ThreadId CurrentThreadId();

// Sets the priority of thread `thread` to the Windows level `priority`. False when the level is
// not one of the above, the thread is gone, or the caller may not raise it. Never blocks.
bool SetThreadPriority(ThreadId thread, int priority);

}  // namespace platform
