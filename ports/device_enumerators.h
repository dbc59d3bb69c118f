// The two device lists of a port scan: the present devices of the Ports class (COM ports) and
// of the Modem class, each as DEVICE_RECORDs.
//
// Windows' limits are kept: an instance id, hardware id or friendly name that does not fit the
// 256-byte buffer it is read into, or a registry value that does not fit 512 bytes, is not read
// and leaves its field empty, which keeps the device off the list.
#pragma once

#include <string>
#include <vector>

#include "platform/device_enumerator.h"

namespace fendrel {

// One present device as an enumerator saw it.
struct DEVICE_RECORD {
    // Ports class: the "PortName" of its hardware key. Modem class: its friendly name.
    std::string port_name;
    std::string hardware_id;  // the first of its hardware ids
    std::string instance_id;
    std::string attached_port;  // Modem class: the "AttachedTo" of its driver key
    // Ports class: the port kind of the rule that listed this copy. Modem class: not set.
    int kind = -1;
};

class CDeviceEnumerator {
  public:
    explicit CDeviceEnumerator(platform::DeviceEnumerator devices) : devices_(std::move(devices)) {}
    virtual ~CDeviceEnumerator() = default;

    // Empties the list and fills it anew from the present devices. Blocks for the walk of the
    // device tree; page thread or worker thread, one at a time per object.
    virtual void Enumerate() = 0;

    const std::vector<DEVICE_RECORD>& records() const { return records_; }
    // What the last Enumerate met that kept a device off the list (a malformed tree entry, a
    // port that could not be named), one sentence each.
    const std::vector<std::string>& problems() const { return problems_; }

  protected:
    platform::DeviceEnumerator devices_;
    std::vector<DEVICE_RECORD> records_;
    std::vector<std::string> problems_;
};

// The Ports class. A device is listed once for each rule its instance id meets (case-sensitive
// search), in this order: "MI_00" without "9006" gives kind 0, "9008" kind 1, "9006" kind 2;
// so a device may be listed twice, and a plain serial port not at all. Only copies whose port
// name, hardware id and instance id are all non-empty are listed.
class CSerialPortEnumerator final : public CDeviceEnumerator {
  public:
    using CDeviceEnumerator::CDeviceEnumerator;
    void Enumerate() override;
};

// The Modem class: every device whose friendly name, hardware id and instance id are non-empty.
class CModemEnumerator final : public CDeviceEnumerator {
  public:
    using CDeviceEnumerator::CDeviceEnumerator;
    void Enumerate() override;
};

}  // namespace fendrel
