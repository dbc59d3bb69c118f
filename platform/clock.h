// Time and pauses.
//
// Every fixed pause of the product (95 ms open retries, 500 ms offline rounds, 400 s give-ups)
// goes through a Clock the caller is given, so tests run those sequences in virtual time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
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

    // A wait for a device (a phone's reply) of at most `timeout` of this clock's time.
    // `wait_for_real(limit)` must block for real for at most `limit` and return true when the wait
    // is over (the device is ready, or the wait ended for a reason the caller looks at: a stop
    // event, a vanished device); WaitForDevice returns what it returned, false when `timeout`
    // passed first. The real clock lets the whole time-out pass for real. Calling thread only.
    virtual bool WaitForDevice(Milliseconds timeout,
                               const std::function<bool(Milliseconds)>& wait_for_real) {
        return wait_for_real(timeout);
    }
};

// The real clock: Sleep blocks, Now follows the steady clock.
Clock& SystemClock();

// A clock whose Sleep returns at once after moving time forward. Thread-safe; keeps the list of
// pauses so tests can check a sequence's timing without waiting for it.
//
// A device wait blocks for real for at most the clock's real device wait; when the device stays
// silent through it, the whole time-out passes in virtual time (not recorded as a pause), so a
// phone that never answers costs a test almost nothing. When the device answers, time moves on by
// the real time waited, so a device that keeps sending never holds a wait for ever.
class VirtualClock final : public Clock {
  public:
    // Long enough for a simulated phone on a loaded machine to answer.
    static constexpr Milliseconds kDefaultRealDeviceWait{250};

    void Sleep(Milliseconds duration) override;
    Milliseconds Now() const override { return Milliseconds(now_ms_.load()); }
    bool WaitForDevice(Milliseconds timeout,
                       const std::function<bool(Milliseconds)>& wait_for_real) override;

    // A test whose device is meant to stay silent makes this short; one that expects answers
    // keeps the default, since an answer later than this counts as none.
    void set_real_device_wait(Milliseconds limit) { real_device_wait_ms_ = limit.count(); }

    // Moves time forward without recording a pause (time spent elsewhere, for example a
    // simulated device's delay).
    void Advance(Milliseconds duration) { now_ms_ += duration.count(); }
    std::vector<Milliseconds> Sleeps() const;

  private:
    std::atomic<long long> now_ms_{0};
    std::atomic<long long> real_device_wait_ms_{kDefaultRealDeviceWait.count()};
    mutable std::mutex mutex_;
    std::vector<Milliseconds> sleeps_;
};

}  // namespace platform
