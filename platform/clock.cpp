#include "platform/clock.h"

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

std::vector<Milliseconds> VirtualClock::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

}  // namespace platform
