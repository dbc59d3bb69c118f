// Ctrl-C on Windows: a console control handler, which Windows runs on a thread of its own.
#include <windows.h>

#include <atomic>

#include "cli/interrupt.h"

namespace fendrel::cli {
namespace {

std::atomic<platform::ManualResetEvent*> interrupt_target{nullptr};

BOOL WINAPI OnControl(DWORD control) {
    if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT)
        return FALSE;  // closing the console or logging off ends the program as usual
    if (platform::ManualResetEvent* event = interrupt_target.load())
        event->Set();
    return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard(platform::ManualResetEvent& event) {
    interrupt_target.store(&event);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(OnControl, FALSE);
    interrupt_target.store(nullptr);
}

}  // namespace fendrel::cli
