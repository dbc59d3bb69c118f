#include "flashlibs/support/nor_download.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "flashlibs/support/image_set_files.h"
#include "flashlibs/support/programmer_start.h"
#include "flashlibs/support/progress_reports.h"
#include "platform/files.h"
#include "qcom/nor_commands.h"
#include "qcom/packet_port.h"
#include "qcom/streaming_host.h"
#include "qcom/streaming_protocol.h"

namespace fendrel::flashlibs {
namespace {

using qcom::nor::Region;
using Bytes = std::vector<std::uint8_t>;

// The largest image list a NOR holds.
constexpr std::uint64_t kLargestList = 256 << 20;
// The most pieces the app is erased and written in.
constexpr std::uint64_t kMostAppPieces = 4096;

int Int(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, INT_MAX));
}

// The images of `paths`, one after the other; none when one cannot be read.
std::optional<Bytes> Joined(const std::vector<std::string>& paths) {
    Bytes joined;
    for (const std::string& path : paths) {
        const std::optional<std::string> image =
            platform::ReadFileBytes(path, kLargestList - joined.size());
        if (!image)
            return std::nullopt;
        joined.insert(joined.end(), image->begin(), image->end());
    }
    return joined;
}

class NorRun {
  public:
    explicit NorRun(const PluginCall& call)
        : call_(call),
          port_(*call.stop_event, platform::SystemClock()),
          host_(port_, platform::SystemClock()),
          progress_(call.report, WorkerProgressOf(FlashRoute::kNor, !call.app_images.empty(),
                                                  call.erase_efs, false)) {}

    bool Run() {
        if (!ReadFiles())
            return false;
        if (!StartRamProgrammer(call_, *programmer_, progress_))
            return false;
        port_.Attach(*call_.port);
        const bool written = Greet() && WriteBoot() && EraseEfs() && WriteApp() &&
                             WriteChecksum() && RestartPhone(call_, host_);
        port_.Detach();
        return written;
    }

  private:
    bool ReadFiles() {
        if (call_.app_images.empty() && call_.boot_images.empty()) {
            call_.report(kNoAppImage);
            return false;
        }
        const std::optional<Bytes> boot = Joined(call_.boot_images);
        if (!boot) {
            call_.report(kNoBootImage);
            return false;
        }
        const std::optional<Bytes> app = Joined(call_.app_images);
        if (!app) {
            call_.report(kNoAppImage);
            return false;
        }
        boot_ = *boot;
        app_ = *app;
        programmer_ = FindNorProgrammer(call_.version_folder);
        if (!programmer_) {
            call_.report(kNoProgrammer);
            return false;
        }
        return true;
    }

    bool Greet() {
        if (host_.Hello(qcom::streaming::kFeatureUncompressed) != DMSS_SUCCESS) {
            const int size = Int(std::filesystem::file_size(programmer_->programmer, failure_));
            call_.report(kProgrammerFailed, size, size);
            return false;
        }
        if (SetNorBootBlockInfo(host_, static_cast<std::uint32_t>(boot_.size()), layout_) !=
                DMSS_SUCCESS ||
            app_.size() > layout_.size(Region::kApp)) {
            call_.report(kBootBlockInfoFailed);
            return false;
        }
        return true;
    }

    // Writes `data` to `region` from `offset` on; `taken` hears how many bytes the phone has
    // written so far.
    bool Write(Region region, std::span<const std::uint8_t> data, std::uint32_t offset,
               const std::function<void(std::size_t)>& taken = nullptr) {
        return OpenNorRegion(host_, region) == DMSS_SUCCESS &&
               host_.StreamWrite(data, taken, offset) == DMSS_SUCCESS &&
               host_.Close() == DMSS_SUCCESS;
    }

    bool WriteBoot() {
        if (boot_.empty())
            return true;
        const std::uint32_t size = layout_.size(Region::kBoot);
        call_.report(kErasingBoot, 0, Int(size));
        if (EraseNor(host_, Region::kBoot, 0, size) != DMSS_SUCCESS) {
            call_.report(kEraseBootFailed, 0, Int(size));
            return false;
        }
        call_.report(kErasingBoot, Int(size), Int(size));
        call_.report(kBootProgress, 0, Int(boot_.size()));
        std::size_t taken = 0;
        if (!Write(Region::kBoot, boot_, 0, [&](std::size_t written) { taken = written; })) {
            call_.report(kBootFailed, Int(taken), Int(boot_.size()));
            return false;
        }
        call_.report(kBootProgress, Int(boot_.size()), Int(boot_.size()));
        return true;
    }

    bool EraseEfs() {
        if (!call_.erase_efs)
            return true;
        const std::uint32_t size = layout_.size(Region::kEfs);
        std::uint32_t done = 0;
        for (int piece = 1; piece <= kEfsPieces; ++piece) {
            const auto end = static_cast<std::uint32_t>(std::uint64_t{size} * piece / kEfsPieces);
            if (EraseNor(host_, Region::kEfs, done, end - done) != DMSS_SUCCESS) {
                call_.report(kEraseEfsFailed, Int(done), Int(size));
                return false;
            }
            progress_.Weighted(kErasingEfs, end, size, end - done,
                               progress_.worker().erase_efs_weight);
            done = end;
        }
        return true;
    }

    // As many pieces as make the worker's bar reach 100 with the last one: each adds its share of
    // the app erase's weight and a tick.
    std::uint64_t AppPieces() const {
        const WorkerProgress& worker = progress_.worker();
        const float left = worker.total - progress_.progress() - worker.erase_app_weight;
        std::uint64_t pieces = 1;
        if (left > 0 && worker.tick > 0)
            pieces = static_cast<std::uint64_t>(left / worker.tick) + 1;
        return std::clamp<std::uint64_t>(pieces, 1,
                                         std::min<std::uint64_t>(kMostAppPieces, app_.size()));
    }

    bool WriteApp() {
        const std::uint32_t checksum_size = layout_.size(Region::kChecksum);
        call_.report(kErasingChecksum, 0, Int(checksum_size));
        if (EraseNor(host_, Region::kChecksum, 0, checksum_size) != DMSS_SUCCESS) {
            call_.report(kEraseChecksumFailed);
            return false;
        }
        if (app_.empty())
            return true;
        const std::uint64_t pieces = AppPieces();
        const std::uint64_t total = app_.size();
        std::uint64_t done = 0;
        for (std::uint64_t piece = 1; piece <= pieces; ++piece) {
            const std::uint64_t end = total * piece / pieces;
            const auto offset = static_cast<std::uint32_t>(done);
            const auto length = static_cast<std::uint32_t>(end - done);
            if (EraseNor(host_, Region::kApp, offset, length) != DMSS_SUCCESS) {
                call_.report(kEraseAppFailed, Int(done), Int(total));
                return false;
            }
            progress_.Weighted(kErasingApp, end, total, length,
                               progress_.worker().erase_app_weight);
            if (!Write(Region::kApp, std::span(app_).subspan(offset, length), offset)) {
                call_.report(kAppFailed, Int(done), Int(total));
                return false;
            }
            call_.report(kAppProgress, Int(end), Int(total));
            done = end;
        }
        return true;
    }

    bool WriteChecksum() {
        if (app_.empty())
            return true;
        call_.report(kWritingChecksum);
        if (WriteNorChecksum(host_, qcom::NorChecksum(app_),
                             static_cast<std::uint32_t>(app_.size())) != DMSS_SUCCESS) {
            call_.report(kWriteChecksumFailed);
            return false;
        }
        return true;
    }

    const PluginCall& call_;
    qcom::PacketPort port_;
    qcom::StreamingHost host_;
    ProgressReports progress_;
    std::optional<ImageSet> programmer_;
    Bytes boot_, app_;
    qcom::NorLayout layout_;
    std::error_code failure_;
};

}  // namespace

bool NorDownload(const PluginCall& call) {
    if (call.port == nullptr)
        return false;
    return NorRun(call).Run();
}

}  // namespace fendrel::flashlibs
