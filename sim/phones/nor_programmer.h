// The "nor" family's RAM programmer: the station's NOR commands (qcom/nor_protocol.h) over
// streaming download (streaming_programmer.h), against a NOR flash kept as the file
// DIR/nor/phoneN.img of kFlashBytes (made erased, all 0xFF, when missing).
//
// Regions: boot kBootBytes, EFS kEfsBytes, checksum kChecksumBytes, app the rest, in that order.
//   boot-block info  the layout; refused (error packet, invalid length) for boot images larger
//                    than the boot region
//   erase            the range, within its region, reads 0xFF afterwards
//   open region      stream writes go there from its start; a write can only turn 1 bits to 0
//                    (the flash keeps old & new), and must stay within the region
//   checksum         written to the checksum region (sum, length, little-endian) only when the
//                    app's first `length` bytes add up to the sum; else an error packet (verify
//                    failed)
#pragma once

#include <cstdint>
#include <memory>

#include "sim/phones/flash_family.h"

namespace sim {

inline constexpr std::uint32_t kNorBootBytes = 256 << 10;
inline constexpr std::uint32_t kNorEfsBytes = 256 << 10;
inline constexpr std::uint32_t kNorChecksumBytes = 4 << 10;
inline constexpr std::uint32_t kNorFlashBytes = 8 << 20;

std::unique_ptr<DownloadSpeaker> MakeNorProgrammer(const FamilySetup& setup);

}  // namespace sim
