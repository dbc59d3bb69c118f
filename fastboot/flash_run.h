// One flashing request from opening the interface to the reboot: the partition sequence behind
// the Brenlo export.
#pragma once

#include "fastboot/brenlo.h"
#include "fastboot/transport/adb_api.h"
#include "platform/clock.h"

namespace brenlo {

// Runs `request` on the device it names through `api`, pausing through `clock`. The request is
// the call's own copy: it becomes the connection's owner for the reports. Erases come first
// (AMSS, boot, userdata, recovery, system, each if selected), then the images in the same order,
// then the reboot; nothing reaches the device before every image is loaded. True when every step
// succeeded. Never throws: an unexpected failure is reported as "Download Arm11 Error!". The
// connection and the loaded images are released on every path.
bool flash_run(const flash_request& request, AdbApi& api, platform::Clock& clock);

}  // namespace brenlo
