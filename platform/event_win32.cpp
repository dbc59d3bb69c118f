// The manual-reset event on Windows: an unnamed event object created with manual reset.
#include <cstdlib>

#include "platform/event.h"
#include "platform/native_handle_win32.h"

namespace platform {

ManualResetEvent::ManualResetEvent()
    : handle_(FromWinHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
    // Without its event a worker could never be stopped; there is no sound way to go on.
    if (WinHandle(handle_) == nullptr)
        std::abort();
}

ManualResetEvent::~ManualResetEvent() {
    CloseHandle(WinHandle(handle_));
}

void ManualResetEvent::Set() {
    SetEvent(WinHandle(handle_));
}

void ManualResetEvent::Reset() {
    ResetEvent(WinHandle(handle_));
}

bool ManualResetEvent::IsSet() const {
    return Wait(Milliseconds(0));
}

bool ManualResetEvent::Wait(Milliseconds timeout) const {
    const DWORD wait = timeout.count() >= static_cast<long long>(INFINITE)
                           ? INFINITE - 1
                           : static_cast<DWORD>(timeout.count() < 0 ? 0 : timeout.count());
    return WaitForSingleObject(WinHandle(handle_), wait) == WAIT_OBJECT_0;
}

}  // namespace platform
