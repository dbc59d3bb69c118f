// The name of this machine, as the station writes it beside what it records (the result history
// keeps which station wrote a row when several share the file).
//
// Blocking: never. Any thread.
#pragma once

#include <string>

namespace platform {

// The host's name; "unknown" when the system does not tell it.
std::string HostName();

}  // namespace platform
