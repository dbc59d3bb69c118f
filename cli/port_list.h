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

// Scans the ports of `devices` with the [DEVICEINFO] lists of config.ini beside the program and
// prints the list on standard output; devices that a malformed tree or settings store kept off
// the list are named on standard error after "fendrel-cli `command`:". False, with the station's
// text on standard error, when config.ini's integrity line does not match.
bool PrintPortList(const platform::DeviceEnumerator& devices, std::string_view command);

}  // namespace fendrel::cli
