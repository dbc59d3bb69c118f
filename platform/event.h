// Manual-reset event, the stand-in for an unnamed Windows event created with manual reset.
//
// A worker's stop event: the page sets it from its thread, and every wait of the worker (serial
// reads, channel replies, flash-library transfers) watches it, either through Wait or by polling
// PollFd() beside a device's file descriptor.
#pragma once

#include "platform/clock.h"

namespace platform {

class ManualResetEvent {
  public:
    ManualResetEvent();  // created non-signalled
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    // Signals the event; it stays signalled until Reset. Any thread.
    void Set();
    // Returns the event to non-signalled. Any thread.
    void Reset();
    // Whether the event is signalled now. Never blocks.
    bool IsSet() const;
    // Blocks until the event is signalled or `timeout` passes (real time); true when signalled.
    bool Wait(Milliseconds timeout) const;
    // A descriptor that polls readable (POLLIN) exactly while the event is signalled.
    int PollFd() const { return fd_; }

  private:
    int fd_;
};

}  // namespace platform
