// Ctrl-C for the console commands: while an InterruptGuard lives, SIGINT signals its event
// instead of ending the program, so a command stops its phone operations the way Stop stops a
// worker and still closes its ports.
#pragma once

#include "platform/event.h"

namespace fendrel::cli {

class InterruptGuard {
  public:
    // `event` (not owned) must outlive the guard. One guard at a time.
    explicit InterruptGuard(platform::ManualResetEvent& event);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

}  // namespace fendrel::cli
