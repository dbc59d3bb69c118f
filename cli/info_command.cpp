// fendrel-cli info PORT: what the phone on PORT (a COM name or a device path) reports about
// itself. On a diagnostic port, a phone running its firmware: its ESN and mode word, from the
// status request the station's offline step reads. On a download port (USB product 9008), a
// phone in download mode: its boot loader's protocol parameters and version text, and the boot
// block of the vendor query. Exit status 0 when the phone answered, 1 when not.
#include <cstdio>
#include <string>

#include "cli/commands_list.h"
#include "cli/console_link.h"
#include "cli/port_list.h"
#include "platform/ascii.h"
#include "ports/device_enumerators.h"
#include "ports/port_record.h"

namespace fendrel::cli {
namespace {

// USB ports ignore it; a real serial line to a phone runs at this speed.
constexpr int kBaudRate = 115200;

// Whether the port scan lists `port` as a download-mode port.
bool IsDownloadModePort(const platform::DeviceEnumerator& devices, const std::string& port) {
    CSerialPortEnumerator ports(devices);
    ports.Enumerate();
    for (const DEVICE_RECORD& record : ports.records()) {
        if (record.kind == PORT_KIND_DLOAD &&
            platform::EqualsIgnoringAsciiCase(record.port_name, port))
            return true;
    }
    return false;
}

int Failed(const std::string& port, const char* what, DMSS_RET_E_TYPE result) {
    std::fprintf(stderr, "fendrel-cli info: %s: %s: %s\n", port.c_str(), what, ResultWords(result));
    return 1;
}

int ShowNormalMode(ConsoleLink& console, const std::string& port) {
    STATUS_S_TYPE status{};
    const DMSS_RET_E_TYPE result = console.diag().ReadStatus(status);
    if (result != DMSS_SUCCESS)
        return Failed(port, "status request", result);
    std::printf("%s: a phone running its firmware (diagnostic port)\n", port.c_str());
    std::printf("ESN          0x%08X\n", status.esn);
    std::printf("mode word    %u (%s)\n", static_cast<unsigned>(status.mode),
                IsOfflineModeWord(status.mode) ? "offline" : "not offline");
    return 0;
}

int ShowDownloadMode(ConsoleLink& console, const std::string& port) {
    qcom::DmssParameters parameters;
    DL_RET_E_TYPE result = console.download().ReadParameters(parameters);
    if (result != DMSS_SUCCESS)
        return Failed(port, "parameter request", result);
    std::printf("%s: a phone in download mode (download port)\n", port.c_str());
    std::printf("protocol     version %u (compatible from %u), writes of up to %u bytes\n",
                parameters.protocol_version, parameters.lowest_compatible_version,
                parameters.largest_write);
    std::string version;
    result = console.download().ReadSoftwareVersion(version);
    std::printf("boot loader  %s\n",
                result == DMSS_SUCCESS ? version.c_str() : ResultWords(result));
    BBINFO_S_TYPE info{};
    result = console.download().DLGetBBinfo(info);
    if (result == DMSS_SUCCESS)
        std::printf("boot block   0x%08X\n", info.boot_block);
    else
        std::printf("boot block   not reported (%s)\n", ResultWords(result));
    return 0;
}

int Run(std::span<char* const> arguments) {
    if (arguments.size() != 1)
        return UsageError(InfoCommand());
    const std::string port = arguments[0];
    StationServices services;
    if (!PortsCanBeScanned(services.devices(), "info"))
        return 1;
    ConsoleLink console(port, services);
    if (!console.link().OpenPort(kBaudRate, SerialLink::OpenReport::kWithMessage)) {
        std::fprintf(stderr, "%s\n%s\n", console.status().c_str(),
                     console.link().port_error().c_str());
        return 1;
    }
    return IsDownloadModePort(services.devices(), port) ? ShowDownloadMode(console, port)
                                                        : ShowNormalMode(console, port);
}

}  // namespace

Command InfoCommand() {
    return {"info", "PORT",
            "show what the phone on PORT reports (ESN and mode word, or its boot loader)", Run};
}

}  // namespace fendrel::cli
