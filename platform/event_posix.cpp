#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/native_handle_posix.h"

namespace platform {

ManualResetEvent::ManualResetEvent()
    : handle_(FromDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))) {
    // Without its event a worker could never be stopped; there is no sound way to go on.
    if (Descriptor(handle_) < 0)
        std::abort();
}

ManualResetEvent::~ManualResetEvent() {
    close(Descriptor(handle_));
}

void ManualResetEvent::Set() {
    const std::uint64_t one = 1;
    // The counter only needs to be non-zero; a full counter (EAGAIN) is signalled already.
    [[maybe_unused]] const ssize_t written = write(Descriptor(handle_), &one, sizeof one);
}

void ManualResetEvent::Reset() {
    std::uint64_t value;
    // Reading returns the counter to zero; EAGAIN means it was zero already.
    [[maybe_unused]] const ssize_t got = read(Descriptor(handle_), &value, sizeof value);
}

bool ManualResetEvent::IsSet() const {
    return Wait(Milliseconds(0));
}

bool ManualResetEvent::Wait(Milliseconds timeout) const {
    pollfd entry{Descriptor(handle_), POLLIN, 0};
    int result;
    do {
        result = poll(&entry, 1, static_cast<int>(timeout.count()));
    } while (result < 0 && errno == EINTR);
    return result > 0 && (entry.revents & POLLIN) != 0;
}

}  // namespace platform
