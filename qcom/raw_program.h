// The layout of an image set on a phone's flash: which file goes to which sectors
// (rawprogram0.xml) and which fields are filled in once the size of the target is known
// (patch0.xml: where the backup GPT lies, the CRCs of the GPT headers and partition arrays).
//
// Reading takes two steps, so that a bad image set is refused before a phone or disk is touched:
//
//   ReadRawProgram reads both files and the size of every image file they name, and checks all
//   that does not depend on the target: the XML, every attribute, the sector expressions' syntax,
//   that each file exists and fits its region.
//   RawProgramLayout::Resolve evaluates the sector expressions for the sizes of the target's
//   physical partitions and checks every write and patch against them, giving the plan a writer
//   carries out: first every region in file order, then every patch in file order.
//
// rawprogram0.xml: every <program> element (under the document element) with
//   SECTOR_SIZE_IN_BYTES   the sector size (a power of two, 512 to 65536)
//   start_sector           where the region starts: a sector expression (sector_expression.h),
//                          "NUM_DISK_SECTORS-33." for the backup GPT
//   num_partition_sectors  the region's size in sectors; 0: the size of the file's data
//   physical_partition_number   the eMMC physical partition or UFS LUN (default 0)
//   file_sector_offset     sectors of the file to skip (default 0)
//   filename               the image file, relative to the image folder; empty or missing: the
//                          element writes nothing and is skipped
//   sparse="true"          refused: sparse images must be expanded first
//   label                  the partition's name, for messages
// The file's data (from file_sector_offset on) is written rounded up to whole sectors, the last
// one padded with zeros; a file longer than its region is refused. A file with no data left to
// write is skipped.
//
// patch0.xml: every <patch> element whose filename is "DISK" (the others patch the GPT files
// themselves and are ignored) with SECTOR_SIZE_IN_BYTES, start_sector (a sector expression),
// byte_offset, size_in_bytes (1 to 8), physical_partition_number (default 0) and value: a sector
// expression, or CRC32(start, length), the CRC-32 (crc32.h) of `length` bytes from sector `start`
// on as they stand when the patch is applied, after the writes and the patches before it. The
// patch writes the value's low size_in_bytes bytes, little-endian, at byte_offset of the sector.
//
// Every error names the file and the element ("rawprogram0.xml, <program> 3 (system): ...").
// Threads: the objects are plain values; nothing here keeps state between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fendrel::qcom {

inline constexpr std::string_view kRawProgramFileName = "rawprogram0.xml";
inline constexpr std::string_view kPatchFileName = "patch0.xml";

// One region to write: `bytes` bytes of the file from `file_offset` on, written from
// `start_sector` on as `sectors` whole sectors (the last one padded with zeros).
struct ProgramRegion {
    std::string label;      // the partition's name; may be empty
    std::string file_name;  // as rawprogram0.xml names it
    std::string file_path;  // in the image folder
    std::uint64_t file_offset = 0;
    std::uint64_t bytes = 0;
    std::uint32_t sector_size = 0;
    std::uint32_t physical_partition = 0;
    std::uint64_t start_sector = 0;
    std::uint64_t sectors = 0;
    int element = 0;  // the <program> element's number in rawprogram0.xml, from 1
};

// One field to fill in on the target.
struct DiskPatch {
    std::string what;  // the element's description; may be empty
    std::uint32_t sector_size = 0;
    std::uint32_t physical_partition = 0;
    std::uint64_t start_sector = 0;
    std::uint32_t byte_offset = 0;
    std::uint32_t size = 0;  // bytes, 1 to 8
    // The value: `number`, or when `crc` is set the CRC-32 of `crc_bytes` bytes from sector
    // `crc_start_sector` on.
    std::uint64_t number = 0;
    bool crc = false;
    std::uint64_t crc_start_sector = 0;
    std::uint64_t crc_bytes = 0;
    int element = 0;  // the <patch> element's number in patch0.xml, from 1
};

struct RawProgramPlan {
    std::vector<ProgramRegion> regions;  // in file order
    std::vector<DiskPatch> patches;      // in file order

    // Bytes of file data the regions write.
    std::uint64_t TotalBytes() const;
};

// The size, in sectors of `sector_size` bytes, of physical partition `physical_partition` of the
// target; none when the target has no such partition.
using PartitionSizes = std::function<std::optional<std::uint64_t>(std::uint32_t physical_partition,
                                                                  std::uint32_t sector_size)>;

// What is read but not yet placed on a target.
class RawProgramLayout {
  public:
    struct Program {
        ProgramRegion region;  // all but start_sector, which waits for the target's size
        std::string start;     // the start_sector expression
        std::uint64_t region_sectors = 0;  // num_partition_sectors; 0: as many as the data needs
    };
    struct Patch {
        DiskPatch patch;  // all but the numbers that wait for the target's size
        std::string start;
        std::string value;                  // a sector expression
        std::string crc_start, crc_length;  // for a CRC32(start, length) value
    };

    // The physical partitions the layout writes or patches.
    std::set<std::uint32_t> PhysicalPartitions() const;

    // The plan for a target whose partitions have `sizes`. None when a partition the layout
    // uses is missing, an expression has no valid value for this size, a write or patch lies
    // outside its partition, or two writes overlap; `error` then says which and why.
    std::optional<RawProgramPlan> Resolve(const PartitionSizes& sizes, std::string& error) const;

    std::string rawprogram_name{kRawProgramFileName};  // the files' names, for messages
    std::string patch_name{kPatchFileName};
    std::vector<Program> programs;  // the elements that write, in file order
    std::vector<Patch> patches;     // the DISK patches, in file order
};

// Reads `rawprogram_path` and, when `patch_path` is not empty, `patch_path`; image files are
// looked for in `image_folder`. None when a file cannot be read or does not check out; `error`
// then says which file and element, and why, and `missing_file` (when given) is the path of the
// file that could not be found or read, if that was the fault (empty otherwise).
std::optional<RawProgramLayout> ReadRawProgram(const std::string& image_folder,
                                               const std::string& rawprogram_path,
                                               const std::string& patch_path, std::string& error,
                                               std::string* missing_file = nullptr);

// The same from the files' text, for callers that hold it already (and fuzzing). The names are
// those used in messages; the image files are still looked for in `image_folder`.
std::optional<RawProgramLayout> ParseRawProgram(const std::string& image_folder,
                                                std::string_view rawprogram_name,
                                                std::string_view rawprogram_text,
                                                std::string_view patch_name,
                                                std::string_view patch_text, std::string& error,
                                                std::string* missing_file = nullptr);

// The sectors of a target as they stand now, for the CRC32 values of patches.
class SectorSource {
  public:
    virtual ~SectorSource() = default;
    // Fills `into` (a whole number of sectors of `sector_size` bytes) from `first_sector` of
    // physical partition `physical_partition` on. False when they cannot be read; `error` says
    // why.
    virtual bool ReadSectors(std::uint32_t physical_partition, std::uint64_t first_sector,
                             std::uint32_t sector_size, std::span<std::uint8_t> into,
                             std::string& error) = 0;
};

// The value `patch` writes, reading the sectors of a CRC32 value from `target` (in pieces of at
// most 1 MiB). None when they cannot be read; `error` then says why.
std::optional<std::uint64_t> PatchValue(const DiskPatch& patch, SectorSource& target,
                                        std::string& error);

// Writes the low `patch.size` bytes of `value`, little-endian, at the patch's byte offset of
// `sector` (the patched sector's bytes, at least byte_offset + size of them).
void ApplyPatch(const DiskPatch& patch, std::uint64_t value, std::span<std::uint8_t> sector);

}  // namespace fendrel::qcom
