// Time and pauses.
//
// Every fixed pause of the product (95 ms open retries, 500 ms offline rounds, 400 s give-ups)
// goes through a Clock the caller is given, so tests run those sequences in virtual time.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace platform {

using Milliseconds = std::chrono::milliseconds;

class Clock {
  public:
    virtual ~Clock() = default;
    // Pauses the calling thread. May be called from any thread.
    virtual void Sleep(Milliseconds duration) = 0;
    // Monotonic time since an arbitrary start.
    virtual Milliseconds Now() const = 0;
};

// The real clock: Sleep blocks, Now follows the steady clock.
Clock& SystemClock();

// A clock whose Sleep returns at once after moving time forward. Thread-safe; keeps the list of
// pauses so tests can check a sequence's timing without waiting for it.
class VirtualClock final : public Clock {
  public:
    void Sleep(Milliseconds duration) override;
    Milliseconds Now() const override { return Milliseconds(now_ms_.load()); }

    // Moves time forward without recording a pause (time spent elsewhere, for example a
    // simulated device's delay).
    void Advance(Milliseconds duration) { now_ms_ += duration.count(); }
    std::vector<Milliseconds> Sleeps() const;

  private:
    std::atomic<long long> now_ms_{0};
    mutable std::mutex mutex_;
    std::vector<Milliseconds> sleeps_;
};

}  // namespace platform
