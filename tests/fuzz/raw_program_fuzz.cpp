// Fuzzes the image set's reader on any rawprogram0.xml and patch0.xml: it must never crash, and
// every plan it accepts must keep its promises: each write within its physical partition and
// longer than its data, no two writes sharing a byte, each patch field within its sector, and
// every CRC read within the partition.
//
// The input is the rawprogram text, a NUL byte, then the patch text. The image files the seeds
// name (a.bin of 1000 bytes, b.bin of 4096) lie in a folder made at the first run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "qcom/raw_program.h"

namespace {

using fendrel::qcom::DiskPatch;
using fendrel::qcom::ProgramRegion;

// Physical partition 0 has kSectors sectors of any size; 1 has a tenth of it; others none.
constexpr std::uint64_t kSectors = 1 << 20;
constexpr std::uint64_t kLargestCrcRead = 1 << 22;

std::optional<std::uint64_t> Size(std::uint32_t partition, std::uint32_t) {
    if (partition == 0)
        return kSectors;
    if (partition == 1)
        return kSectors / 10;
    return std::nullopt;
}

const std::string& ImageFolder() {
    static const std::string folder = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "fendrel-raw-program-fuzz";
        std::filesystem::create_directories(path);
        std::ofstream(path / "a.bin", std::ios::binary) << std::string(1000, 'a');
        std::ofstream(path / "b.bin", std::ios::binary) << std::string(4096, 'b');
        return path.string();
    }();
    return folder;
}

// Zeros, after checking that the read lies within the partition.
class CheckedTarget final : public fendrel::qcom::SectorSource {
  public:
    bool ReadSectors(std::uint32_t partition, std::uint64_t first_sector, std::uint32_t sector_size,
                     std::span<std::uint8_t> into, std::string&) override {
        const std::uint64_t count = into.size() / sector_size;
        if (into.size() % sector_size != 0 || first_sector + count > *Size(partition, 0))
            std::abort();
        std::fill(into.begin(), into.end(), 0);
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view programs = input.substr(0, split);
    const std::string_view patches =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    std::string error;
    const auto layout = fendrel::qcom::ParseRawProgram(ImageFolder(), "rawprogram0.xml", programs,
                                                       "patch0.xml", patches, error);
    if (!layout)
        return error.empty() ? (std::abort(), 0) : 0;
    const auto plan = layout->Resolve(Size, error);
    if (!plan)
        return error.empty() ? (std::abort(), 0) : 0;

    std::vector<const ProgramRegion*> seen;
    for (const ProgramRegion& region : plan->regions) {
        const std::uint64_t partition = *Size(region.physical_partition, 0);
        if (region.sectors == 0 || region.start_sector + region.sectors > partition ||
            region.sectors * region.sector_size < region.bytes ||
            (region.sectors - 1) * region.sector_size >= region.bytes)
            std::abort();
        for (const ProgramRegion* other : seen) {
            const std::uint64_t a = region.start_sector * region.sector_size;
            const std::uint64_t b = other->start_sector * other->sector_size;
            if (other->physical_partition == region.physical_partition &&
                a < b + other->sectors * other->sector_size &&
                b < a + region.sectors * region.sector_size)
                std::abort();
        }
        seen.push_back(&region);
    }
    CheckedTarget target;
    for (const DiskPatch& patch : plan->patches) {
        const std::uint64_t partition = *Size(patch.physical_partition, 0);
        if (patch.start_sector >= partition || patch.size < 1 || patch.size > 8 ||
            patch.byte_offset + patch.size > patch.sector_size)
            std::abort();
        if (patch.crc &&
            (patch.crc_bytes == 0 || patch.crc_start_sector >= partition ||
             patch.crc_bytes > (partition - patch.crc_start_sector) * patch.sector_size))
            std::abort();
        if (patch.crc && patch.crc_bytes > kLargestCrcRead)
            continue;  // within the partition, too long to read on every run
        std::vector<std::uint8_t> sector(patch.sector_size);
        const std::optional<std::uint64_t> value = PatchValue(patch, target, error);
        if (!value)
            std::abort();
        fendrel::qcom::ApplyPatch(patch, *value, sector);
    }
    return 0;
}
