#include "platform/wall_clock.h"

#include <time.h>

namespace platform {
namespace {

class SystemLocalClock final : public WallClock {
  public:
    LocalDateTime Now() const override {
        const time_t now = time(nullptr);
        struct tm local {};
        localtime_r(&now, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec};
    }
};

}  // namespace

const WallClock& SystemWallClock() {
    static const SystemLocalClock clock;
    return clock;
}

}  // namespace platform
