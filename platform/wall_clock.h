// The local date and time of day, for what the product stamps with them (backup file names and
// the time written into a backup).
//
// Pauses and time-outs go through platform::Clock; this service only answers what the calendar
// says, so tests can pin it.
#pragma once

namespace platform {

// A moment of the local calendar, every field as people write it (month 1-12, day 1-31,
// hour 0-23).
struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class WallClock {
  public:
    virtual ~WallClock() = default;
    // The local time now. Never blocks; may be called from any thread.
    virtual LocalDateTime Now() const = 0;
};

// The machine's clock in its local time zone.
const WallClock& SystemWallClock();

// Always answers the moment it was given. For tests.
class FixedWallClock final : public WallClock {
  public:
    explicit FixedWallClock(LocalDateTime moment) : moment_(moment) {}
    LocalDateTime Now() const override { return moment_; }

  private:
    LocalDateTime moment_;
};

}  // namespace platform
