// The commands of the station's NOR RAM programmer. Once the boot loader has started it (GO,
// qcom/dmss_protocol.h) it speaks streaming download's framing and its hello, stream write,
// close, reset, error and log packets (qcom/streaming_protocol.h), and four commands of its own
// in codes streaming download leaves free; multi-byte fields little-endian:
//
//   0x40 boot-block info: boot bytes u32    -> 0x41 layout: boot, EFS, checksum and app region
//        sizes, u32 each. Refused (error packet) when the boot images do not fit the boot block.
//   0x42 erase: region u8, offset u32,      -> 0x43 region u8, offset u32. The range lies within
//        length u32                            the region; erased flash reads 0xFF.
//   0x44 open region: region u8             -> 0x45 region u8. Stream writes go to that region
//                                              from then on, their addresses from its start,
//                                              until close; they may only turn 1 bits to 0.
//   0x46 checksum: sum u32, length u32      -> 0x47. The programmer adds up the first `length`
//                                              bytes of the app region (NorChecksum) and, when
//                                              they make `sum`, writes sum and length to the
//                                              checksum region; when not, an error packet
//                                              (verify failed) and nothing is written.
//
// Regions, laid out in the flash in this order: 1 boot, 2 EFS, 3 checksum, 4 app. The phone
// starts only an app whose checksum region matches it, so the station erases the checksum before
// the app and writes it last. Hello features: uncompressed download only.
#pragma once

#include <cstdint>

namespace fendrel::qcom::nor {

inline constexpr std::uint8_t kBootBlockInfo = 0x40;
inline constexpr std::uint8_t kLayout = 0x41;
inline constexpr std::uint8_t kErase = 0x42;
inline constexpr std::uint8_t kErased = 0x43;
inline constexpr std::uint8_t kOpenRegion = 0x44;
inline constexpr std::uint8_t kRegionOpened = 0x45;
inline constexpr std::uint8_t kWriteChecksum = 0x46;
inline constexpr std::uint8_t kChecksumWritten = 0x47;

enum class Region : std::uint8_t { kBoot = 1, kEfs = 2, kChecksum = 3, kApp = 4 };
inline constexpr int kRegions = 4;

}  // namespace fendrel::qcom::nor
