// Manual-reset event, the stand-in for an unnamed Windows event created with manual reset.
//
// A worker's stop event: the page sets it from its thread, and every wait of the worker (serial
// reads, channel replies, flash-library transfers) watches it, either through Wait or through a
// wait of the platform layer that watches a device and the event together (SerialPort).
#pragma once

#include "platform/clock.h"
#include "platform/native_handle.h"

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
    // The system object, for waits beside a device: on POSIX an eventfd that polls readable
    // (POLLIN) exactly while the event is signalled, on Windows the manual-reset event itself.
    NativeHandle native_handle() const { return handle_; }

  private:
    NativeHandle handle_;
};

}  // namespace platform
