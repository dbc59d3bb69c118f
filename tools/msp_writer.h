// Carries out a raw-program plan on fendrel-msp's target: every region in plan order, then every
// DISK patch in order (a CRC32 value reads the sectors as the writes and earlier patches left
// them), then a flush to the device and, when asked, a read-back of every region and patch.
//
// Progress goes to `out`, one line per region and one for the patches, each starting with the
// share of the work done so far ("[ 42%] "), so that a caller can show it. A target that leaves
// the system (a phone unplugged) ends the work at the next region.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "qcom/raw_program.h"
#include "tools/msp_target.h"

namespace fendrel::msp {

// The plan of `layout` for a disk of `disk_bytes`: a disk is physical partition 0, NUM_DISK_SECTORS
// its size in sectors of each element's own size. None, with `error` saying which element does
// not fit and why, when the layout cannot be placed on it.
std::optional<qcom::RawProgramPlan> PlanForDisk(const qcom::RawProgramLayout& layout,
                                                std::uint64_t disk_bytes, std::string& error);

class PlanWriter {
  public:
    // Regions are written in pieces of this size.
    static constexpr std::size_t kPieceBytes = 4u << 20;

    // `rawprogram_name` and `patch_name` name the elements in messages.
    PlanWriter(WriteTarget& target, std::FILE* out, std::string rawprogram_name,
               std::string patch_name)
        : target_(target),
          out_(out),
          rawprogram_name_(std::move(rawprogram_name)),
          patch_name_(std::move(patch_name)) {}

    // True when all of it went well; otherwise error() says what failed and where.
    bool Write(const qcom::RawProgramPlan& plan, bool verify);

    const std::string& error() const { return error_; }

  private:
    struct PatchedBytes {
        std::uint64_t offset;  // on the target
        std::vector<std::uint8_t> bytes;
    };

    // Calls `action` with each piece of the region in order: its offset on the target and the
    // bytes the region puts there (the file's data, zeros after it), which `action` may change.
    // False as soon as a piece cannot be read or `action` returns false.
    using PieceAction = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> bytes)>;
    bool ForEachPiece(const qcom::ProgramRegion& region, const PieceAction& action);
    // Puts into `bytes`, the target's bytes from `offset` on, what the patches wrote there.
    void OverlayPatches(std::uint64_t offset, std::span<std::uint8_t> bytes) const;
    bool WriteRegion(const qcom::ProgramRegion& region);
    bool ApplyPatch(const qcom::DiskPatch& patch);
    bool VerifyRegion(const qcom::ProgramRegion& region);
    bool VerifyPatches();
    bool CheckStillThere();
    // Fills `into` with the region's bytes from `at` (counted from the region's start): the
    // file's data from its offset, zeros after it.
    bool ReadRegionData(platform::InputFile& file, const qcom::ProgramRegion& region,
                        std::uint64_t at, std::span<std::uint8_t> into);
    // The region's image file, or null (with error_ set).
    std::unique_ptr<platform::InputFile> OpenRegionFile(const qcom::ProgramRegion& region);
    std::string RegionName(const qcom::ProgramRegion& region) const;
    std::string PatchName(const qcom::DiskPatch& patch) const;
    void Progress(const std::string& line);

    WriteTarget& target_;
    std::FILE* out_;
    const std::string rawprogram_name_;
    const std::string patch_name_;
    std::vector<std::uint8_t> expected_;   // a piece of a region, as it must be on the target
    std::vector<std::uint8_t> read_back_;  // the same piece as the target holds it
    std::vector<PatchedBytes> patched_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::string error_;
};

}  // namespace fendrel::msp
