// The three kinds of phone port a worker can be given, as port discovery classifies them.
#pragma once

namespace fendrel {

inline constexpr int PORT_KIND_DIAG = 0;     // diagnostic port of a phone running its firmware
inline constexpr int PORT_KIND_DLOAD = 1;    // a phone in download mode (USB product 9008)
inline constexpr int PORT_KIND_STORAGE = 2;  // a phone whose flash shows as a disk (product 9006)

}  // namespace fendrel
