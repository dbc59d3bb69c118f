// The COM name arbiter: every serial device keeps one COMn name for good, as on Windows.
//
// A device is known by its instance id (USB\VID_05C6&PID_9025&MI_00\1-2). The first time a
// device is seen it gets the lowest COM number that no other device holds; the name is kept in
// the settings store under HKEY_LOCAL_MACHINE
// "SYSTEM\CurrentControlSet\Enum\<instance id>\Device Parameters", value "PortName", where a
// technician may also change it. A phone re-plugged into the same USB socket in the same mode
// therefore keeps its name; in another mode it is another device (another product id) and has
// a name of its own. Port names behave as on Windows: COM12 is port number 12.
//
// Blocking: file I/O of the settings store, and its lock while another process writes. Threads:
// any; two processes naming devices at once never hand out the same number (the choice and the
// record are one locked change of the hive).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace platform {

class ComNameArbiter {
  public:
    explicit ComNameArbiter(SettingsStore store) : store_(std::move(store)) {}

    // The port name of device `instance_id`: the one recorded for it, or else the lowest free
    // COMn, recorded now. None, with `error` set, when the store cannot be read or written (a
    // corrupt hive, a folder without write access) or the instance id cannot name a key.
    std::optional<std::string> NameFor(std::string_view instance_id,
                                       std::string* error = nullptr) const;

    // The key holding the device's "PortName".
    static std::string DeviceParametersPath(std::string_view instance_id);

  private:
    SettingsStore store_;
};

// The number of a port name "COMn" (any case, n from 1), or none.
std::optional<unsigned> ComPortNumber(std::string_view port_name);

}  // namespace platform
