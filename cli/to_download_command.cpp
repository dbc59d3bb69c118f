// fendrel-cli to-download PORT: takes the phone on the diagnostic port PORT offline and switches
// it to download mode, by the worker's own offline step and switch, then waits for the phone to
// come back on the bus in download mode (USB product 9008, the same USB socket) and prints the
// port list as the download pages would see it. Exit status 0 when the phone is back in
// download mode, 1 when a step failed or it did not come back.
#include <cstdio>
#include <string>

#include "app/text_lookup.h"
#include "cli/commands_list.h"
#include "cli/console_link.h"
#include "cli/port_list.h"
#include "platform/ascii.h"

namespace fendrel::cli {
namespace {

constexpr int kBaudRate = 115200;
// A phone takes a few seconds to restart its boot loader and be enumerated again.
constexpr int kReturnLooks = 150;
constexpr platform::Milliseconds kReturnPause{100};

// The USB place ("1-2") of the device behind `port` (a COM name or its device node): the last
// part of its instance id. Empty when no present device has that port.
std::string UsbPlace(const platform::DeviceEnumerator& devices, const std::string& port) {
    for (const platform::PresentDevice& device :
         devices.PresentDevices(platform::DeviceClass::kPorts)) {
        if (platform::EqualsIgnoringAsciiCase(device.port_name, port) || device.device_node == port)
            return device.instance_id.substr(device.instance_id.rfind('\\') + 1);
    }
    return {};
}

// The port name of the download-mode port at `place`, empty while there is none.
std::string DownloadPortAt(const platform::DeviceEnumerator& devices, const std::string& place) {
    for (const platform::PresentDevice& device :
         devices.PresentDevices(platform::DeviceClass::kPorts)) {
        const std::string& id = device.instance_id;
        if (id.find("9008") != std::string::npos && id.ends_with("\\" + place))
            return device.port_name;
    }
    return {};
}

int Run(std::span<char* const> arguments) {
    if (arguments.size() != 1)
        return UsageError(ToDownloadCommand());
    const std::string port = arguments[0];
    StationServices services;
    const platform::DeviceEnumerator& devices = services.devices();
    if (!PortsCanBeScanned(devices, "to-download"))
        return 1;
    const std::string place = UsbPlace(devices, port);
    ConsoleLink console(port, services);
    if (place.empty() ||
        !console.link().OpenPort(kBaudRate, SerialLink::OpenReport::kWithMessage)) {
        std::fprintf(stderr, "%s\n%s\n", GetText(text::kCanNotOpenPort).c_str(),
                     place.empty() ? ("no present port is named " + port).c_str()
                                   : console.link().port_error().c_str());
        return 1;
    }
    if (!console.link().SwitchToDownloadMode())
        return 1;

    std::printf("Waiting for the phone to come back in download mode...\n");
    std::fflush(stdout);
    std::string download_port;
    for (int look = 0; look < kReturnLooks && !console.stop_requested() && download_port.empty();
         ++look) {
        if (look > 0)
            services.clock().Sleep(kReturnPause);
        download_port = DownloadPortAt(devices, place);
    }
    if (download_port.empty()) {
        std::fprintf(stderr,
                     "fendrel-cli to-download: the phone did not come back in download mode\n");
    } else {
        std::printf("The phone is back in download mode as %s.\n\n", download_port.c_str());
    }
    const bool listed = PrintPortList(devices, "to-download");
    return listed && !download_port.empty() ? 0 : 1;
}

}  // namespace

Command ToDownloadCommand() {
    return {"to-download", "PORT",
            "take the phone on diagnostic port PORT offline and into download mode", Run};
}

}  // namespace fendrel::cli
