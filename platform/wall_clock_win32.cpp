#include <windows.h>

#include "platform/wall_clock.h"

namespace platform {
namespace {

class SystemLocalClock final : public WallClock {
  public:
    LocalDateTime Now() const override {
        SYSTEMTIME local{};
        GetLocalTime(&local);
        return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    }
};

}  // namespace

const WallClock& SystemWallClock() {
    static const SystemLocalClock clock;
    return clock;
}

}  // namespace platform
