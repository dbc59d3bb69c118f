// One listed phone port, as the download pages and their workers receive it.
#pragma once

#include <string>

namespace fendrel {

// How a worker treats the phone behind a port.
inline constexpr int PORT_KIND_DIAG = 0;     // normal mode: the diagnostic port of a running phone
inline constexpr int PORT_KIND_DLOAD = 1;    // download mode (USB product 9008)
inline constexpr int PORT_KIND_STORAGE = 2;  // the flash exposed as a disk (USB product 9006)

struct PORT_RECORD {
    std::string port_name;  // "COM12"
    std::string port_type;  // shown to the operator: "UART" or a configured USB type text
    int port_kind = PORT_KIND_DIAG;
};

}  // namespace fendrel
