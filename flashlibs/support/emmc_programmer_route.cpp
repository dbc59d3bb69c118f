#include "flashlibs/support/emmc_programmer_route.h"

#include <filesystem>

#include "flashlibs/support/programmer_start.h"
#include "platform/event.h"
#include "platform/paths.h"
#include "platform/serial_port.h"
#include "qcom/raw_program.h"

namespace fendrel::flashlibs {
namespace {

// Waits, reading and dropping what comes, until the port goes away; false when the stop event or
// the time-out comes first.
bool PortGone(platform::SerialPort& port, const platform::ManualResetEvent& stop) {
    platform::Clock& clock = platform::SystemClock();
    const platform::Milliseconds deadline = clock.Now() + kPortGoneTimeout;
    std::uint8_t dropped[256];
    while (true) {
        const platform::Milliseconds left = deadline - clock.Now();
        if (left <= platform::Milliseconds(0))
            return false;
        const platform::IoStatus status = port.WaitReadable(stop, left);
        if (status == platform::IoStatus::kGone)
            return true;
        if (status != platform::IoStatus::kOk)
            return false;
        if (port.Read(dropped).status == platform::IoStatus::kGone)
            return true;
    }
}

}  // namespace

bool EmmcProgrammerRoute(const PluginCall& call, const ImageSet& image_set, FlashRoute route) {
    std::error_code failure;
    if (!std::filesystem::is_regular_file(
            platform::JoinPath(image_set.folder, qcom::kRawProgramFileName), failure)) {
        call.report(kMissingImage, kMissingPartitionTable);
        return false;
    }
    if (call.port == nullptr)
        return false;
    // Only the programmer's upload moves the bar: the raw-disk route ticks it on from there.
    ProgressReports progress(call.report, WorkerProgressOf(route, false, false, false));
    if (!StartRamProgrammer(call, image_set, progress))
        return false;
    if (PortGone(*call.port, *call.stop_event))
        return true;
    const int size = static_cast<int>(std::filesystem::file_size(image_set.programmer, failure));
    call.report(kProgrammerFailed, size, size);
    return false;
}

}  // namespace fendrel::flashlibs
