// The port scan: the phone ports a download page lists, in order, each with its type text and
// kind.
//
// The scan lists, first, the Ports-class devices (CSerialPortEnumerator) whose instance id is not
// excluded and whose port name begins with "COM" or "ADB", with the type text of the first
// matching USB text or "UART"; then the Modem-class devices whose instance id matches an
// accepted-modem text and whose attached port begins with "COM", by that port, with "UART". The
// texts come from the [DEVICEINFO] section of config.ini: a size key and the numbered texts 1 to
// that size, a missing text being empty. A text matches when it is found in the instance id
// turned to lower case; the texts themselves are not turned, so one with upper-case letters never
// matches, and an empty one matches every device. There is no sorting and no removal of
// duplicates.
//
// A modem is listed as PORT_KIND_DIAG: a phone has a modem interface only while it runs its
// firmware, and its worker must take it through the normal-mode run (detect, back up, switch to
// download mode), which is what that kind selects.
//
// One scanner serves one scan on the page thread: constructed (the lists read), scanned, read
// by index, destroyed. Nothing is cached between scans and nothing is reported to the operator.
#pragma once

#include <string>
#include <vector>

#include "app/ini_file.h"
#include "ports/device_enumerators.h"
#include "ports/port_record.h"

namespace fendrel {

// The kind given to ports found through the Modem class.
inline constexpr int kModemPortKind = PORT_KIND_DIAG;

class CPortScanner {
  public:
    // The present devices of the environment's device tree, config.ini beside the program.
    CPortScanner();
    CPortScanner(platform::DeviceEnumerator devices, std::string config_path);

    // Rebuilds the port list from the present devices.
    void Scan();
    int GetPortCount() const { return static_cast<int>(ports_.size()); }
    // The port at `index` (from 0) in list order; an empty record outside the list.
    PORT_RECORD GetPort(int index) const;

    // The matching rules, each on the instance id as the enumerators read it.
    bool IsNotSupportedPort(const std::string& instance_id) const;
    // Empties `type`, then on a match sets it to the USB type text of the matching USB text.
    bool FindUsbType(const std::string& instance_id, std::string& type) const;
    bool IsSupportedModem(const std::string& instance_id) const;

    // What the last scan met that kept devices off the list, for a technician's eyes.
    std::vector<std::string> problems() const;

  private:
    std::vector<PORT_RECORD> ports_;
    CSerialPortEnumerator serial_ports_;
    CModemEnumerator modems_;
    CIniFile ini_;
    std::vector<std::string> not_supported_texts_;
    std::vector<std::string> usb_texts_;
    std::vector<std::string> usb_type_texts_;  // same numbering as usb_texts_
    std::vector<std::string> supported_modem_texts_;
};

}  // namespace fendrel
