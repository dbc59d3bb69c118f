// Image sets for simulated firehose phones: the files a station writes to a phone (random
// partition images, a GPT, rawprogram0.xml, patch0.xml, a stand-in programmer), and, worked out
// on its own from the layout rather than by reading those files, the disk image a blank eMMC of
// the given size holds once the set is written: what a test or the demo compares a phone's disk
// with.
//
// The layout, on 512-byte sectors, N the disk's size in sectors:
//   sectors 0-33      PrimaryGPT  gpt_main0.bin: protective MBR, GPT header, 128 entries
//   1 MiB on          sbl1, aboot, boot, modem, misc (no file: left as it is), system, each from
//                     a 1 MiB boundary; system is the last partition and grows to the end of the
//                     disk, its region the size of its file (num_partition_sectors 0)
//   N-33 to N-1       BackupGPT   gpt_backup0.bin: 128 entries, GPT backup header
// The GPT files hold placeholders where the disk's size matters (the backup header's place, the
// last usable sector, system's last sector, every CRC); patch0.xml fills them in on the disk,
// the way real image sets do. The images share `data_bytes`: sbl1 256 KiB, aboot 512 KiB, boot
// and modem a quarter each, system the rest.
//
// Threads: plain functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::uint32_t kImageSetSectorBytes = 512;

struct ImageSetOptions {
    std::string folder;                   // made when missing
    std::uint64_t disk_bytes = 64 << 20;  // the phone's eMMC
    std::uint64_t data_bytes = 24 << 20;  // all partition images together
    std::uint32_t seed = 1;               // the images' random bytes and the GUIDs
    std::string programmer = "prog_emmc_firehose_8x26.mbn";
};

// A stand-in Firehose programmer: an ELF32 image (header, one program header, `data_bytes` of
// random code from offset 0x1000) that the simulated loader takes (sim/phones/programmer_image.h).
std::vector<std::uint8_t> StandInProgrammer(std::uint32_t data_bytes, std::uint32_t seed);

// Writes the set into options.folder. False, with `error` set, when it does not fit the disk or
// cannot be written.
bool MakeImageSet(const ImageSetOptions& options, std::string& error);

// Writes the disk image a blank eMMC of options.disk_bytes holds once the set is written.
bool WriteExpectedDisk(const ImageSetOptions& options, const std::string& path, std::string& error);

}  // namespace sim
