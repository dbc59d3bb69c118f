// The serial link of a port: the phone's COM port with the two channels bound to it, and the
// phone's operating mode. See engine/serial_link.h for the contract of each operation.
//
// Opening resolves the host's port name through the device enumerator. Re-discovery walks the
// present Ports-class devices in enumeration order and takes the port name of the last one whose
// instance id contains "MI_00" (the diagnostic interface of a composite phone); a phone in
// download mode has no such interface. Every pause goes through the host's clock, and every
// attempt loop ends as soon as the host stops running.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/link_host.h"
#include "engine/serial_link.h"
#include "platform/device_enumerator.h"
#include "platform/serial_port.h"

namespace fendrel {

// Whether the status record's mode word says the phone has gone offline (2 or 6).
bool IsOfflineModeWord(std::uint16_t mode_word);

// The port name of the last present Ports-class device whose instance id contains "MI_00", or
// empty. Ids and names too long for the buffers Windows reads them into are passed over.
std::string FindDiagnosticPort(const platform::DeviceEnumerator& devices);

// The port name of the diagnostic port (interface 0) of the disk-mode phone (product 9006)
// plugged at `usb_place`, or empty.
std::string FindDiskModePort(const platform::DeviceEnumerator& devices, std::string_view usb_place);

class PortLink final : public SerialLink {
  public:
    // The offline step: rounds of a mode change to offline, each followed by status reads.
    static constexpr int kOfflineRounds = 10;
    static constexpr int kStatusReadsPerRound = 3;
    static constexpr platform::Milliseconds kStatusReadPause{500};
    // The switch to download mode.
    static constexpr int kSwitchAttempts = 10;
    static constexpr platform::Milliseconds kSwitchRetryPause{50};

    // `host` must outlive the link.
    PortLink(LinkHost& host, platform::DeviceEnumerator devices);
    // A link that keeps its host for its own life.
    PortLink(std::unique_ptr<LinkHost> host, platform::DeviceEnumerator devices);
    // Detaches the channels and closes a port still open, without resetting the phone.
    ~PortLink() override;

    bool OpenPort(int baud_rate, OpenReport report) override;
    void CloseWithResetPhone() override;
    void CloseWithResetPhone9006() override;
    void Reset9006() override;
    bool GoOffline() override;
    bool SwitchToDownloadMode() override;
    void RediscoverDiagnosticPort() override;
    std::string usb_place() const override { return usb_place_; }
    void ResetDiskModePhone() override;
    platform::SerialPort* port() override { return port_.is_open() ? &port_ : nullptr; }

    // Why the last open failed, for a technician's eyes.
    const std::string& port_error() const { return port_.error(); }

  private:
    void Close();

    std::unique_ptr<LinkHost> owned_host_;
    LinkHost& host_;
    const platform::DeviceEnumerator devices_;
    platform::SerialPort port_;  // the channels keep a reference: it lives as long as the link
    unsigned baud_rate_ = 0;     // of the last open
    std::string usb_place_;      // of the port last opened
};

}  // namespace fendrel
