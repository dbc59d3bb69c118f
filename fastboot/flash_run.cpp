#include "fastboot/flash_run.h"

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>

#include "fastboot/partitions.h"
#include "fastboot/protocol.h"

namespace brenlo {
namespace {

// Interface names are converted into a buffer of this many wide characters, terminator included.
constexpr std::size_t kInterfaceNameCapacity = 260;

struct ConnectionRelease {
    void operator()(fb_connection* connection) const { device_release(connection); }
};
using Connection = std::unique_ptr<fb_connection, ConnectionRelease>;

// The texts of the call itself: no partition, no step kind.
void Report(const flash_request& request, int level, const char* text) {
    if (request.callback != nullptr)
        request.callback(request.context, nullptr, BRENLO_STEP_NONE, level, text);
}

// The name in wide characters, as the interface is opened by; false when it does not convert
// or does not fit.
bool WideName(const std::string& name, wchar_t (&wide)[kInterfaceNameCapacity]) {
    if (name.size() >= kInterfaceNameCapacity)
        return false;
    std::mbstate_t state{};
    const char* source = name.c_str();
    const std::size_t converted = std::mbsrtowcs(wide, &source, kInterfaceNameCapacity, &state);
    return converted != static_cast<std::size_t>(-1) && source == nullptr;
}

bool QueueImages(const flash_request& request, fb_connection* connection) {
    for (const RequestPartition& partition : kRequestPartitions) {
        if (request.*partition.flash_flag == 0)
            continue;
        const std::string& path = request.*partition.path;
        std::error_code missing;
        if (!std::filesystem::exists(path, missing)) {
            char text[64];
            std::snprintf(text, sizeof text, "No %s file!", partition.name);
            Report(request, BRENLO_LEVEL_FAILURE, text);
            return false;
        }
        std::uint32_t size = 0;
        unsigned char* image = load_file(connection, path.c_str(), &size);
        if (image == nullptr)
            return false;
        queue_flash(connection, partition.name, image, size);
    }
    return true;
}

bool RunSteps(const flash_request& request, AdbApi& api, platform::Clock& clock,
              Connection& connection) {
    Report(request, BRENLO_LEVEL_PROGRESS, "Open device...");
    if (request.interface_name.empty())
        return false;
    wchar_t wide_name[kInterfaceNameCapacity] = {};
    if (WideName(request.interface_name, wide_name))
        connection.reset(device_open(wide_name, api, clock));
    if (connection == nullptr || !device_matches(connection.get())) {
        connection.reset();
        Report(request, BRENLO_LEVEL_FAILURE, "Open device fail!");
        return false;
    }
    connection->owner = &request;
    Report(request, BRENLO_LEVEL_PROGRESS, "Open device success!");

    Report(request, BRENLO_LEVEL_PROGRESS, "Start to download Arm11...");
    for (const RequestPartition& partition : kRequestPartitions) {
        if (request.*partition.erase_flag != 0)
            queue_erase(connection.get(), partition.name);
    }
    if (!QueueImages(request, connection.get()))
        return false;
    Report(request, BRENLO_LEVEL_PROGRESS, "Reset Device...");
    fb_action* reboot = enqueue_action(connection.get(), FB_OP_COMMAND, "reboot");
    reboot->message = make_message("rebooting...");
    reboot->completion = reboot_completion;
    return run_queue(connection.get()) == 0;
}

}  // namespace

bool flash_run(const flash_request& request, AdbApi& api, platform::Clock& clock) {
    Connection connection;
    try {
        return RunSteps(request, api, clock, connection);
    } catch (...) {
        // Out of memory, an impossible step, or an exception from the caller's callback.
        connection.reset();
        try {
            Report(request, BRENLO_LEVEL_FAILURE, "Download Arm11 Error!");
        } catch (...) {
        }
        return false;
    }
}

}  // namespace brenlo
