#include "tools/msp_writer.h"

#include <algorithm>

namespace fendrel::msp {
namespace {

// The target's sectors as they stand, for the CRC32 values of patches. A disk is one physical
// partition; the plan was resolved so.
class TargetSectors final : public qcom::SectorSource {
  public:
    explicit TargetSectors(WriteTarget& target) : target_(target) {}
    bool ReadSectors(std::uint32_t, std::uint64_t first_sector, std::uint32_t sector_size,
                     std::span<std::uint8_t> into, std::string& error) override {
        if (target_.ReadAt(first_sector * sector_size, into))
            return true;
        error = target_.error();
        return false;
    }

  private:
    WriteTarget& target_;
};

std::uint64_t RegionBytes(const qcom::ProgramRegion& region) {
    return region.sectors * region.sector_size;
}

}  // namespace

std::optional<qcom::RawProgramPlan> PlanForDisk(const qcom::RawProgramLayout& layout,
                                                std::uint64_t disk_bytes, std::string& error) {
    return layout.Resolve(
        [disk_bytes](std::uint32_t physical_partition,
                     std::uint32_t sector_size) -> std::optional<std::uint64_t> {
            if (physical_partition != 0)
                return std::nullopt;
            return disk_bytes / sector_size;
        },
        error);
}

std::string PlanWriter::RegionName(const qcom::ProgramRegion& region) const {
    std::string name = rawprogram_name_ + ", <program> " + std::to_string(region.element);
    if (!region.label.empty())
        name += " (" + region.label + ")";
    return name;
}

std::string PlanWriter::PatchName(const qcom::DiskPatch& patch) const {
    std::string name = patch_name_ + ", <patch> " + std::to_string(patch.element);
    if (!patch.what.empty())
        name += " (" + patch.what + ")";
    return name;
}

void PlanWriter::Progress(const std::string& line) {
    const std::uint64_t percent = total_ == 0 ? 100 : done_ * 100 / total_;
    std::fprintf(out_, "[%3u%%] %s\n", static_cast<unsigned>(percent), line.c_str());
    std::fflush(out_);
}

bool PlanWriter::CheckStillThere() {
    if (target_.StillThere())
        return true;
    error_ = "the disk went away while it was written";
    return false;
}

bool PlanWriter::Write(const qcom::RawProgramPlan& plan, bool verify) {
    expected_.resize(kPieceBytes);
    patched_.clear();
    done_ = 0;
    total_ = 0;
    for (const qcom::ProgramRegion& region : plan.regions)
        total_ += RegionBytes(region);
    if (verify)
        total_ *= 2;

    for (const qcom::ProgramRegion& region : plan.regions) {
        if (!WriteRegion(region) || !CheckStillThere())
            return false;
    }
    for (const qcom::DiskPatch& patch : plan.patches) {
        if (!ApplyPatch(patch))
            return false;
    }
    if (!plan.patches.empty())
        Progress("applied " + std::to_string(plan.patches.size()) + " patches");
    if (!target_.Flush()) {
        error_ = target_.error();
        return false;
    }
    if (!CheckStillThere())
        return false;
    if (!verify)
        return true;
    read_back_.resize(kPieceBytes);
    for (const qcom::ProgramRegion& region : plan.regions) {
        if (!VerifyRegion(region))
            return false;
    }
    return VerifyPatches() && CheckStillThere();
}

std::unique_ptr<platform::InputFile> PlanWriter::OpenRegionFile(const qcom::ProgramRegion& region) {
    std::string why;
    auto file = platform::OpenInputFile(region.file_path, &why);
    if (file == nullptr)
        error_ = RegionName(region) + ": " + why;
    return file;
}

bool PlanWriter::ReadRegionData(platform::InputFile& file, const qcom::ProgramRegion& region,
                                std::uint64_t at, std::span<std::uint8_t> into) {
    const std::uint64_t data =
        at < region.bytes ? std::min<std::uint64_t>(region.bytes - at, into.size()) : 0;
    if (data > 0 && !file.ReadAt(region.file_offset + at, into.data(), data)) {
        error_ = RegionName(region) + ": " + region.file_name + ": " + file.error();
        return false;
    }
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(data), into.end(), 0);
    return true;
}

bool PlanWriter::ForEachPiece(const qcom::ProgramRegion& region, const PieceAction& action) {
    const auto file = OpenRegionFile(region);
    if (file == nullptr)
        return false;
    const std::uint64_t size = RegionBytes(region);
    const std::uint64_t start = region.start_sector * region.sector_size;
    for (std::uint64_t at = 0; at < size;) {
        const std::span piece(expected_.data(), std::min<std::uint64_t>(size - at, kPieceBytes));
        if (!ReadRegionData(*file, region, at, piece) || !action(start + at, piece))
            return false;
        at += piece.size();
        done_ += piece.size();
    }
    return true;
}

void PlanWriter::OverlayPatches(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    for (const PatchedBytes& patched : patched_) {
        for (std::size_t i = 0; i < patched.bytes.size(); ++i) {
            const std::uint64_t at = patched.offset + i;
            if (at >= offset && at - offset < bytes.size())
                bytes[at - offset] = patched.bytes[i];
        }
    }
}

bool PlanWriter::WriteRegion(const qcom::ProgramRegion& region) {
    const bool written =
        ForEachPiece(region, [&](std::uint64_t offset, std::span<std::uint8_t> bytes) {
            if (target_.WriteAt(offset, bytes))
                return true;
            error_ = RegionName(region) + ": " + target_.error();
            return false;
        });
    if (written)
        Progress("wrote " + RegionName(region) + ": " + region.file_name + ", " +
                 std::to_string(region.sectors) + " sectors from sector " +
                 std::to_string(region.start_sector));
    return written;
}

bool PlanWriter::ApplyPatch(const qcom::DiskPatch& patch) {
    TargetSectors sectors(target_);
    std::string error;
    const auto value = qcom::PatchValue(patch, sectors, error);
    if (!value) {
        error_ = PatchName(patch) + ": " + error;
        return false;
    }
    std::vector<std::uint8_t> sector(patch.sector_size);
    const std::uint64_t offset = patch.start_sector * patch.sector_size;
    if (!target_.ReadAt(offset, sector)) {
        error_ = PatchName(patch) + ": " + target_.error();
        return false;
    }
    qcom::ApplyPatch(patch, *value, sector);
    if (!target_.WriteAt(offset, sector)) {
        error_ = PatchName(patch) + ": " + target_.error();
        return false;
    }
    const auto field = sector.begin() + patch.byte_offset;
    patched_.push_back({offset + patch.byte_offset, {field, field + patch.size}});
    return true;
}

bool PlanWriter::VerifyRegion(const qcom::ProgramRegion& region) {
    const bool verified = ForEachPiece(region, [&](std::uint64_t offset,
                                                   std::span<std::uint8_t> expected) {
        // The patches changed some of the region's bytes after it was written.
        OverlayPatches(offset, expected);
        const std::span written(read_back_.data(), expected.size());
        if (!target_.ReadAt(offset, written)) {
            error_ = RegionName(region) + ": " + target_.error();
            return false;
        }
        const auto differs = std::mismatch(written.begin(), written.end(), expected.begin());
        if (differs.first == written.end())
            return true;
        error_ =
            RegionName(region) + ": the disk differs from " + region.file_name + " at byte " +
            std::to_string(offset + static_cast<std::uint64_t>(differs.first - written.begin())) +
            " after writing";
        return false;
    });
    if (verified)
        Progress("verified " + RegionName(region));
    return verified;
}

bool PlanWriter::VerifyPatches() {
    // Each field holds what the last patch over each of its bytes wrote.
    for (const PatchedBytes& patched : patched_) {
        std::vector<std::uint8_t> expected(patched.bytes.size());
        OverlayPatches(patched.offset, expected);
        std::vector<std::uint8_t> written(patched.bytes.size());
        if (!target_.ReadAt(patched.offset, written)) {
            error_ = target_.error();
            return false;
        }
        if (written != expected) {
            error_ = "a patched field at byte " + std::to_string(patched.offset) +
                     " differs after writing";
            return false;
        }
    }
    return true;
}

}  // namespace fendrel::msp
