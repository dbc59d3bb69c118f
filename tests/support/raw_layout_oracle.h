// Test helper: what a disk must hold once an image set's rawprogram and patch files have been
// written to it, worked out here on its own (attributes found by a regular expression, sector
// expressions and CRC-32 computed directly), so that the product's reader and writer are checked
// against an independent reading of the same files.
//
// It knows what the tests' image sets use: <program> with SECTOR_SIZE_IN_BYTES, start_sector (a
// number or NUM_DISK_SECTORS-N.), num_partition_sectors, file_sector_offset and filename;
// <patch filename="DISK"> with start_sector, byte_offset, size_in_bytes and a value that is a
// number, NUM_DISK_SECTORS-N. or CRC32(start, length).
#pragma once

#include <string>
#include <string_view>

namespace fendrel::testing {

// `disk` (the disk's bytes before the write) as the layout leaves it; image files are read from
// `folder`.
std::string ExpectedDisk(std::string disk, const std::string& folder, std::string_view rawprogram,
                         std::string_view patch);

// The CRC-32 of zlib and of GPT headers (reflected 0x04C11DB7, initial and final 0xFFFFFFFF).
std::uint32_t Crc32(std::string_view bytes);

}  // namespace fendrel::testing
