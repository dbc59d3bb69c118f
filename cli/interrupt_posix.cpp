// Ctrl-C on POSIX: a SIGINT handler.
#include "cli/interrupt.h"

#include <signal.h>

#include <atomic>

namespace fendrel::cli {
namespace {

// Setting the event is one write to an eventfd, which a signal handler may do.
std::atomic<platform::ManualResetEvent*> interrupt_target{nullptr};

extern "C" void OnInterrupt(int) {
    if (platform::ManualResetEvent* event = interrupt_target.load())
        event->Set();
}

}  // namespace

InterruptGuard::InterruptGuard(platform::ManualResetEvent& event) {
    interrupt_target.store(&event);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
}

InterruptGuard::~InterruptGuard() {
    signal(SIGINT, SIG_DFL);
    interrupt_target.store(nullptr);
}

}  // namespace fendrel::cli
