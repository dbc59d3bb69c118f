// The RAM programmer of a DMSS download set (image_set_files.h): the bytes to upload, where they
// go and where the programmer starts.
//
// The bytes are the programmer's .bin, the page's conversion of its .hex (engine/intel_hex.h);
// when only the .hex is there, the plugin converts it the same way, in memory. The addresses come
// from the .hex when there is one: the load address is that of its first data record, the start
// address its start-address record's, else the load address. The .hex must hold one block of
// data that the .bin holds whole (the converter keeps only full 16-byte records, so a .hex whose
// data ends in a shorter record, or has gaps, gives a .bin that is not the programmer), else the
// programmer is not loaded. A .bin alone is loaded and started at the address the station's
// table (kKnownLoadAddresses) gives for its name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flashlibs/support/image_set_files.h"

namespace fendrel::flashlibs {

struct KnownLoadAddress {
    std::string_view name;  // the programmer file's name without extension
    std::uint32_t address;
};
// Where the boot loaders of the phones these programmers are made for load them.
inline constexpr KnownLoadAddress kKnownLoadAddresses[] = {
    {"MPRG7627A", 0x00100000},
    {"MPRG8X25", 0x00100000},
    {"MPRG8X25Q", 0x00100000},
};

// The most a programmer file may hold.
inline constexpr std::uint64_t kLargestRamProgrammer = 16 << 20;

struct RamProgrammer {
    std::vector<std::uint8_t> image;
    std::uint32_t load_address = 0;
    std::uint32_t start_address = 0;
};

// The programmer of `image_set`; none, with `error` saying why, when it cannot be read or
// placed.
std::optional<RamProgrammer> LoadRamProgrammer(const ImageSet& image_set, std::string& error);

}  // namespace fendrel::flashlibs
