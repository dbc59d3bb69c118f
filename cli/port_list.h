// The port list as fendrel-cli prints it: the port scan of the download pages, one line per
// listed port with its name, type text, kind and device node.
#pragma once

#include <string_view>

#include "platform/device_enumerator.h"

namespace fendrel::cli {

// Whether config.ini beside the program passes its integrity check; when it does not, the
// station's text for a broken configuration goes to standard error. The station works with no
// configuration whose integrity line does not match.
bool ConfigurationAccepted();

// Whether the ports of `devices` can be scanned at all: the device tree is readable and the
// registry hive holding the port names loads (platform::DeviceEnumerator::CanWalk). When not,
// the one reason goes to standard error after "fendrel-cli `command`:", where it would
// otherwise stand once for every device, or hide behind "no device is named COM1".
bool PortsCanBeScanned(const platform::DeviceEnumerator& devices, std::string_view command);

// Scans the ports of `devices` with the [DEVICEINFO] lists of config.ini beside the program and
// prints the list on standard output; devices that a malformed tree or settings store kept off
// the list are named on standard error after "fendrel-cli `command`:". False, with the reason on
// standard error, when config.ini's integrity line does not match or the ports cannot be
// scanned.
bool PrintPortList(const platform::DeviceEnumerator& devices, std::string_view command);

}  // namespace fendrel::cli
