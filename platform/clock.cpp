#include "platform/clock.h"

#include <algorithm>
#include <thread>

namespace platform {
namespace {

class SteadyClock final : public Clock {
  public:
    void Sleep(Milliseconds duration) override { std::this_thread::sleep_for(duration); }
    Milliseconds Now() const override {
        return std::chrono::duration_cast<Milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

}  // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

void VirtualClock::Sleep(Milliseconds duration) {
    {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(duration);
    }
    now_ms_ += duration.count();
    // Let other threads (a simulated phone, a test driver) run between the pauses of a loop.
    std::this_thread::yield();
}

bool VirtualClock::WaitForDevice(Milliseconds timeout,
                                 const std::function<bool(Milliseconds)>& wait_for_real) {
    const auto started = std::chrono::steady_clock::now();
    const Milliseconds limit = std::min(timeout, Milliseconds(real_device_wait_ms_.load()));
    if (wait_for_real(std::max(limit, Milliseconds(0)))) {
        Advance(
            std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - started));
        return true;
    }
    Advance(std::max(timeout, Milliseconds(0)));
    return false;
}

std::vector<Milliseconds> VirtualClock::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

}  // namespace platform
