#include "engine/port_link.h"

#include <algorithm>

#include "app/text_lookup.h"
#include "engine/flash_type.h"

namespace fendrel {
namespace {

// The buffers the Windows calls read an instance id and a registry value into.
constexpr std::size_t kInstanceIdBufferChars = 256;
constexpr std::size_t kValueBufferBytes = 512;

}  // namespace

bool IsOfflineModeWord(std::uint16_t mode_word) {
    constexpr std::uint16_t kOfflineWords[] = {2, 6};
    return std::find(std::begin(kOfflineWords), std::end(kOfflineWords), mode_word) !=
           std::end(kOfflineWords);
}

std::string FindDiagnosticPort(const platform::DeviceEnumerator& devices) {
    std::string found;
    for (const platform::PresentDevice& device :
         devices.PresentDevices(platform::DeviceClass::kPorts)) {
        const bool readable = device.instance_id.size() < kInstanceIdBufferChars &&
                              !device.port_name.empty() &&
                              device.port_name.size() < kValueBufferBytes;
        if (readable && device.instance_id.find("MI_00") != std::string::npos)
            found = device.port_name;
    }
    return found;
}

std::string FindDiskModePort(const platform::DeviceEnumerator& devices,
                             std::string_view usb_place) {
    for (const platform::PresentDevice& device :
         devices.PresentDevices(platform::DeviceClass::kPorts)) {
        const bool disk_mode =
            device.instance_id.find("VID_05C6&PID_9006&MI_00") != std::string::npos;
        if (disk_mode && !usb_place.empty() &&
            platform::UsbPlaceOf(device.instance_id) == usb_place)
            return device.port_name;
    }
    return {};
}

PortLink::PortLink(LinkHost& host, platform::DeviceEnumerator devices)
    : host_(host), devices_(std::move(devices)) {}

PortLink::PortLink(std::unique_ptr<LinkHost> host, platform::DeviceEnumerator devices)
    : owned_host_(std::move(host)), host_(*owned_host_), devices_(std::move(devices)) {}

PortLink::~PortLink() {
    Close();
}

void PortLink::Close() {
    host_.download_channel().Detach();
    host_.diagnostic_channel().Detach();
    port_.Close();
}

bool PortLink::OpenPort(int baud_rate, OpenReport report) {
    Close();
    const unsigned baud = static_cast<unsigned>(std::max(baud_rate, 0));
    if (port_.Open(host_.port_name(), baud, devices_) != platform::OpenStatus::kOpened) {
        if (report == OpenReport::kWithMessage)
            host_.SetStatus(GetText(text::kCanNotOpenPort));
        return false;
    }
    host_.download_channel().Attach(port_);
    host_.diagnostic_channel().Attach(port_);
    baud_rate_ = baud;
    if (const auto device = devices_.FindPort(host_.port_name()))
        usb_place_ = platform::UsbPlaceOf(device->instance_id);
    return true;
}

void PortLink::CloseWithResetPhone() {
    host_.diagnostic_channel().ResetPhone();
    Close();
}

void PortLink::CloseWithResetPhone9006() {
    host_.diagnostic_channel().ResetPhone9006();
    Close();
}

void PortLink::Reset9006() {
    host_.diagnostic_channel().ResetPhone9006();
    // The channels stay bound to the closed port: their commands then answer "not attached".
    port_.Close();
}

bool PortLink::GoOffline() {
    host_.ShowStatus(GetText(text::kChangingToOffline));
    CDMCmd& diagnostic = host_.diagnostic_channel();
    const bool any_report = IsFlashType(host_.flash_type(), kFlashTypeMulti);
    for (int round = 0; round < kOfflineRounds && !host_.stop_requested(); ++round) {
        diagnostic.ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL);
        for (int read = 0; read < kStatusReadsPerRound && !host_.stop_requested(); ++read) {
            host_.clock().Sleep(kStatusReadPause);
            STATUS_S_TYPE status{};
            diagnostic.ReadStatus(status);
            if (any_report || IsOfflineModeWord(status.mode))
                return true;
        }
    }
    host_.ShowError(GetText(text::kChangeToOfflineFail));
    return false;
}

bool PortLink::SwitchToDownloadMode() {
    if (!GoOffline())
        return false;
    host_.ShowStatus(GetText(text::kSwitchingToDownload));
    for (int attempt = 0; attempt < kSwitchAttempts && !host_.stop_requested(); ++attempt) {
        const DMSS_RET_E_TYPE result = host_.diagnostic_channel().SwitchToDownloader();
        if (result == DMSS_SUCCESS || result == DMSS_SWITCHED_WITHOUT_REPLY)
            return true;
        host_.clock().Sleep(kSwitchRetryPause);
    }
    host_.ShowError(GetText(text::kSwitchToDownloadFail));
    return false;
}

void PortLink::RediscoverDiagnosticPort() {
    host_.set_port_name(FindDiagnosticPort(devices_));
}

void PortLink::ResetDiskModePhone() {
    const std::string port = FindDiskModePort(devices_, usb_place_);
    if (port.empty())
        return;
    Close();
    if (port_.Open(port, baud_rate_, devices_) != platform::OpenStatus::kOpened)
        return;
    host_.diagnostic_channel().Attach(port_);
    host_.diagnostic_channel().ResetPhone9006();
    Close();
}

}  // namespace fendrel
