#include "flashlibs/support/firehose_download.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/event.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "qcom/byte_link.h"
#include "qcom/firehose_client.h"
#include "qcom/raw_program.h"
#include "qcom/sahara_host.h"
#include "qcom/sha256.h"

namespace fendrel::flashlibs {
namespace {

using qcom::FirehoseResult;
using qcom::FirehoseStatus;
using qcom::ProgramRegion;
using qcom::SectorRange;

// Larger files are no programmers.
constexpr std::uint64_t kLargestProgrammer = 16 << 20;
constexpr std::string_view kMemoryName = "emmc";
constexpr std::string_view kPartitionTableFilePrefix = "gpt_";
constexpr std::string_view kPartitionTableLabels[] = {"primarygpt", "backupgpt"};

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsPartitionTableFile(std::string_view file_name) {
    return std::filesystem::path(file_name).filename().string().starts_with(
        kPartitionTableFilePrefix);
}

ImageRow RowOf(const ProgramRegion& region) {
    const std::string label = Lower(region.label);
    const bool table = IsPartitionTableFile(region.file_name) ||
                       std::find(std::begin(kPartitionTableLabels), std::end(kPartitionTableLabels),
                                 label) != std::end(kPartitionTableLabels);
    return table ? ImageRow::kPartitionTable : ImageRow::kSoftware;
}

SectorRange RangeOf(const ProgramRegion& region) {
    return {region.physical_partition, region.sector_size, region.start_sector, region.sectors};
}

// A region's data as it goes to the phone: the file's bytes from the region's offset, then zeros
// to the end of its last sector.
class RegionSource {
  public:
    explicit RegionSource(const ProgramRegion& region)
        : file_(region.file_path, std::ios::binary), file_left_(region.bytes) {
        file_.seekg(static_cast<std::streamoff>(region.file_offset));
    }

    // Fills `piece` with the next bytes; false when the file cannot be read.
    bool Fill(std::span<std::uint8_t> piece) {
        const std::size_t from_file =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), file_left_));
        file_.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(from_file));
        std::fill(piece.begin() + static_cast<std::ptrdiff_t>(from_file), piece.end(), 0);
        file_left_ -= from_file;
        return static_cast<bool>(file_);
    }

    // The file's bytes not yet read.
    std::uint64_t file_left() const { return file_left_; }

  private:
    std::ifstream file_;
    std::uint64_t file_left_;
};

// The phone's sectors, read through Firehose: what the patches' CRC32 values are made of.
class PhoneSectors final : public qcom::SectorSource {
  public:
    explicit PhoneSectors(qcom::FirehoseClient& client) : client_(client) {}

    bool ReadSectors(std::uint32_t partition, std::uint64_t first_sector, std::uint32_t sector_size,
                     std::span<std::uint8_t> into, std::string& error) override {
        std::size_t filled = 0;
        const FirehoseStatus status =
            client_.Read({partition, sector_size, first_sector, into.size() / sector_size},
                         [&](std::span<const std::uint8_t> piece) {
                             std::copy(piece.begin(), piece.end(), into.begin() + filled);
                             filled += piece.size();
                         });
        error = status.detail;
        return status.ok();
    }

  private:
    qcom::FirehoseClient& client_;
};

class FirehoseRun {
  public:
    FirehoseRun(const PluginCall& call, const ImageSet& image_set, FlashRoute route)
        : call_(call),
          image_set_(image_set),
          own_stop_(call.stop_event == nullptr ? std::make_unique<platform::ManualResetEvent>()
                                               : nullptr),
          link_(*call.port, call.stop_event != nullptr ? *call.stop_event : *own_stop_),
          buffer_(link_),
          client_(buffer_),
          progress_(call.report,
                    WorkerProgressOf(route, !call.app_images.empty() && !call.app_images[0].empty(),
                                     call.erase_efs)) {}

    bool Run() {
        const std::optional<qcom::RawProgramLayout> layout = ReadLayout();
        if (!layout || !Upload())
            return false;
        call_.report(kProgrammerRunning);
        const std::optional<qcom::RawProgramPlan> plan = Place(*layout);
        if (!plan)
            return false;
        std::uint64_t table_bytes = 0;
        for (const ProgramRegion& region : plan->regions) {
            if (RowOf(region) == ImageRow::kPartitionTable)
                table_bytes += region.bytes;
        }
        progress_.Start(table_bytes, plan->TotalBytes() - table_bytes);
        for (const ProgramRegion& region : plan->regions) {
            if (!WriteRegion(region))
                return false;
        }
        if (!WritePatches(*plan))
            return false;
        progress_.Finish();
        call_.report(kWaitRestart);
        if (!client_.PowerReset().ok()) {
            call_.report(kRestartFailed);
            return false;
        }
        return true;
    }

  private:
    std::optional<qcom::RawProgramLayout> ReadLayout() {
        const std::string rawprogram =
            platform::JoinPath(image_set_.folder, qcom::kRawProgramFileName);
        const std::string patch = platform::JoinPath(image_set_.folder, qcom::kPatchFileName);
        std::error_code failure;
        if (!std::filesystem::is_regular_file(rawprogram, failure)) {
            call_.report(kMissingImage, static_cast<int>(ImageRow::kPartitionTable));
            return std::nullopt;
        }
        std::string error, missing;
        std::optional<qcom::RawProgramLayout> layout = qcom::ReadRawProgram(
            image_set_.folder, rawprogram,
            std::filesystem::is_regular_file(patch, failure) ? patch : "", error, &missing);
        if (!layout && !missing.empty()) {
            call_.report(kMissingImage, IsPartitionTableFile(missing)
                                            ? static_cast<int>(ImageRow::kPartitionTable)
                                            : kMissingSoftware);
        } else if (!layout) {
            call_.report(kDownloadFailed);
        }
        return layout;
    }

    bool Upload() {
        const std::optional<std::string> programmer =
            platform::ReadFileBytes(image_set_.programmer, kLargestProgrammer);
        if (!programmer || programmer->empty()) {
            call_.report(kNoProgrammer);
            return false;
        }
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(programmer->data()),
                              programmer->size());
        qcom::SaharaHost host(buffer_);
        const qcom::SaharaOutcome outcome = host.Upload(
            bytes,
            [this](std::uint64_t sent, std::uint64_t total) { progress_.Programmer(sent, total); });
        if (outcome.result == qcom::SaharaResult::kUploaded) {
            progress_.ProgrammerTaken(outcome.sent, bytes.size());
            return true;
        }
        if (outcome.result == qcom::SaharaResult::kProgrammerRunning) {
            client_.DiscardAnswers();  // its answers to the loader's packets sent blind
            return true;
        }
        call_.report(kProgrammerFailed, static_cast<int>(outcome.sent),
                     static_cast<int>(bytes.size()));
        return false;
    }

    std::optional<qcom::RawProgramPlan> Place(const qcom::RawProgramLayout& layout) {
        if (!client_.Configure(kMemoryName, qcom::FirehoseClient::kWantedPayload).ok()) {
            call_.report(kDownloadFailed);
            return std::nullopt;
        }
        std::map<std::uint32_t, std::uint64_t> partition_bytes;
        for (const std::uint32_t partition : layout.PhysicalPartitions()) {
            std::uint64_t sectors = 0;
            std::uint32_t sector_size = 0;
            if (!client_.StorageSize(partition, sectors, sector_size).ok()) {
                call_.report(kDownloadFailed);
                return std::nullopt;
            }
            partition_bytes[partition] = sectors * sector_size;
        }
        std::string error;
        std::optional<qcom::RawProgramPlan> plan = layout.Resolve(
            [&](std::uint32_t partition, std::uint32_t sector_size) {
                return std::optional<std::uint64_t>(partition_bytes.at(partition) / sector_size);
            },
            error);
        if (!plan)
            call_.report(kDownloadFailed);
        return plan;
    }

    // Writes the region in program commands of at most kProgramBytes, then verifies it.
    bool WriteRegion(const ProgramRegion& region) {
        const ImageRow row = RowOf(region);
        RegionSource source(region);
        const auto fill = [&](std::span<std::uint8_t> piece) { return source.Fill(piece); };
        const std::uint64_t command_sectors = kProgramBytes / region.sector_size;
        for (std::uint64_t done = 0; done < region.sectors;) {
            const std::uint64_t count = std::min(command_sectors, region.sectors - done);
            const std::uint64_t before = source.file_left();
            const FirehoseStatus status = client_.Program(
                {region.physical_partition, region.sector_size, region.start_sector + done, count},
                fill);
            if (!status.ok()) {
                progress_.Failed(row);
                return false;
            }
            progress_.Written(row, before - source.file_left());
            done += count;
        }
        if (!Verified(region)) {
            progress_.Failed(row);
            return false;
        }
        return true;
    }

    // The phone's digest of the region, or the region read back, equals the digest of the data
    // the file puts there. The file is digested while the phone digests the sectors: the two take
    // about as long, and a stop cuts the file's short.
    bool Verified(const ProgramRegion& region) {
        std::optional<qcom::Sha256Digest> file;
        if (!digest_refused_) {
            qcom::Sha256Digest phone{};
            const FirehoseStatus status =
                client_.Digest(RangeOf(region), phone, [&] { file = FileDigest(region); });
            if (status.ok())
                return file == phone;
            if (status.result != FirehoseResult::kNak)
                return false;
            digest_refused_ = true;  // a programmer without getsha256digest
        }
        if (!file)
            file = FileDigest(region);
        if (!file)
            return false;
        qcom::Sha256 back;
        const FirehoseStatus status = client_.Read(
            RangeOf(region), [&](std::span<const std::uint8_t> piece) { back.Update(piece); });
        return status.ok() && back.Finish() == *file;
    }

    // None when the file cannot be read or a stop came.
    std::optional<qcom::Sha256Digest> FileDigest(const ProgramRegion& region) const {
        RegionSource source(region);
        qcom::Sha256 digest;
        std::vector<std::uint8_t> piece(kProgramBytes);
        for (std::uint64_t left = region.sectors * region.sector_size; left > 0;) {
            if (stop_event().IsSet())
                return std::nullopt;
            const std::span<std::uint8_t> next = std::span(piece).first(
                static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), left)));
            if (!source.Fill(next))
                return std::nullopt;
            digest.Update(next);
            left -= next.size();
        }
        return digest.Finish();
    }

    const platform::ManualResetEvent& stop_event() const {
        return call_.stop_event != nullptr ? *call_.stop_event : *own_stop_;
    }

    bool WritePatches(const qcom::RawProgramPlan& plan) {
        if (plan.patches.empty())
            return true;
        call_.report(kWritingChecksum);
        PhoneSectors phone(client_);
        for (const qcom::DiskPatch& patch : plan.patches) {
            std::string error;
            const std::optional<std::uint64_t> value = qcom::PatchValue(patch, phone, error);
            std::vector<std::uint8_t> sector(patch.sector_size);
            std::vector<std::uint8_t> expected(patch.sector_size);
            const bool written = value && client_.Patch(patch, *value).ok() &&
                                 phone.ReadSectors(patch.physical_partition, patch.start_sector,
                                                   patch.sector_size, sector, error);
            if (written)
                qcom::ApplyPatch(patch, *value, expected);
            const auto field = [&](const std::vector<std::uint8_t>& bytes) {
                return std::vector<std::uint8_t>(bytes.begin() + patch.byte_offset,
                                                 bytes.begin() + patch.byte_offset + patch.size);
            };
            if (!written || field(sector) != field(expected)) {
                call_.report(kWriteChecksumFailed);
                return false;
            }
        }
        return true;
    }

    const PluginCall& call_;
    const ImageSet image_set_;
    const std::unique_ptr<platform::ManualResetEvent> own_stop_;  // when the worker gave none
    qcom::SerialByteLink link_;
    qcom::LinkBuffer buffer_;
    qcom::FirehoseClient client_;
    ProgressReports progress_;
    bool digest_refused_ = false;
};

}  // namespace

bool FirehoseDownload(const PluginCall& call, const ImageSet& image_set, FlashRoute route) {
    if (call.port == nullptr)
        return false;
    return FirehoseRun(call, image_set, route).Run();
}

}  // namespace fendrel::flashlibs
