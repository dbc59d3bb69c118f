#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace platform {

ManualResetEvent::ManualResetEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Without its event a worker could never be stopped; there is no sound way to go on.
    if (fd_ < 0)
        std::abort();
}

ManualResetEvent::~ManualResetEvent() {
    close(fd_);
}

void ManualResetEvent::Set() {
    const std::uint64_t one = 1;
    // The counter only needs to be non-zero; a full counter (EAGAIN) is signalled already.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void ManualResetEvent::Reset() {
    std::uint64_t value;
    // Reading returns the counter to zero; EAGAIN means it was zero already.
    [[maybe_unused]] const ssize_t got = read(fd_, &value, sizeof value);
}

bool ManualResetEvent::IsSet() const {
    return Wait(Milliseconds(0));
}

bool ManualResetEvent::Wait(Milliseconds timeout) const {
    pollfd entry{fd_, POLLIN, 0};
    int result;
    do {
        result = poll(&entry, 1, static_cast<int>(timeout.count()));
    } while (result < 0 && errno == EINTR);
    return result > 0 && (entry.revents & POLLIN) != 0;
}

}  // namespace platform
