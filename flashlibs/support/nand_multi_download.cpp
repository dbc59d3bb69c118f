#include "flashlibs/support/nand_multi_download.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "flashlibs/support/programmer_start.h"
#include "flashlibs/support/progress_reports.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "qcom/multi_image_set.h"
#include "qcom/packet_port.h"
#include "qcom/streaming_host.h"

namespace fendrel::flashlibs {
namespace {

namespace st = qcom::streaming;
using Bytes = std::string;

// The largest image file a NAND holds.
constexpr std::uint64_t kLargestImage = 1ull << 30;
// An image goes out in pieces of this size read from its file, so that a large one is neither held
// in memory whole nor read to its end before its first block goes out; a piece is read in less
// time than the phone takes to empty the port's buffer, so reading it holds up nothing.
constexpr std::size_t kImagePiece = 1 << 20;

// How the worker's rows name an image type: its missing files (code 25) and its rows (26, 27).
struct ImageRows {
    std::uint8_t image_type;
    int missing_image, missing_header;
    ImageRow image_row;
    std::optional<ImageRow> header_row;
};
constexpr ImageRows kRows[] = {
    {st::kImageQcsblHeader, kMissingQcsHeader, 0, ImageRow::kQcsHeader, std::nullopt},
    {st::kImageQcsbl, kMissingQcsBootLoader, 0, ImageRow::kQcsBootLoader, std::nullopt},
    {st::kImageOemsbl, kMissingOemBootLoader, kMissingOemHeader, ImageRow::kOemBootLoader,
     ImageRow::kOemHeader},
    {st::kImageAmss, kMissingSoftware, kMissingAmssHeader, ImageRow::kSoftware,
     ImageRow::kAmssHeader},
};

// The rows of `image_type`; none for a further image (its reports are module reports).
const ImageRows* RowsOf(std::uint8_t image_type) {
    for (const ImageRows& rows : kRows) {
        if (rows.image_type == image_type)
            return &rows;
    }
    return nullptr;
}

struct SetFile {
    const qcom::MultiImageFile* file;
    std::string image, header;  // paths; header empty for a type without one
    std::uint64_t image_bytes = 0;
};

std::uint64_t SizeOf(const std::string& path) {
    std::error_code failure;
    const std::uint64_t size = std::filesystem::file_size(path, failure);
    return failure ? 0 : size;
}

bool IsFile(const std::string& path) {
    std::error_code failure;
    return std::filesystem::is_regular_file(path, failure);
}

std::span<const std::uint8_t> BytesOf(const Bytes& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

class NandRun {
  public:
    NandRun(const PluginCall& call, const ImageSet& image_set)
        : call_(call),
          image_set_(image_set),
          port_(*call.stop_event, platform::SystemClock()),
          host_(port_, platform::SystemClock()),
          progress_(call.report, WorkerProgressOf(FlashRoute::kMulti, false, false, false)) {}

    bool Run() {
        if (!CheckFiles())
            return false;
        if (!StartRamProgrammer(call_, image_set_, progress_))
            return false;
        progress_.Start(table_.size(), software_bytes_, still_to_come_);
        port_.Attach(*call_.port);
        const bool written = Greet() && WriteTable() && WriteImages() && RestartPhone(call_, host_);
        port_.Detach();
        return written;
    }

  private:
    // Every file the run needs is there: the partition table read, the images found.
    bool CheckFiles() {
        const std::string table = platform::JoinPath(image_set_.folder, qcom::kPartitionTableFile);
        if (!IsFile(table)) {
            call_.report(kMissingImage, kMissingPartitionTable);
            return false;
        }
        const std::optional<Bytes> read =
            platform::ReadFileBytes(table, st::kLargestPartitionTable);
        if (!read || read->empty()) {
            call_.report(kDownloadFailed);
            return false;
        }
        table_ = *read;
        for (const qcom::MultiImageFile& file : qcom::kMultiImageFiles) {
            SetFile set_file{&file, platform::JoinPath(image_set_.folder, std::string(file.image)),
                             file.header.empty()
                                 ? ""
                                 : platform::JoinPath(image_set_.folder, std::string(file.header))};
            const bool image = IsFile(set_file.image);
            const bool header = set_file.header.empty() || IsFile(set_file.header);
            const ImageRows* rows = RowsOf(file.image_type);
            if (rows != nullptr && !image) {
                call_.report(kMissingImage, rows->missing_image);
                return false;
            }
            if (rows != nullptr && !header) {
                call_.report(kMissingImage, rows->missing_header);
                return false;
            }
            if (rows == nullptr && !image && (set_file.header.empty() || !IsFile(set_file.header)))
                continue;  // a further image this set does not have
            if (rows == nullptr && !(image && header)) {
                call_.report(kDownloadFailed);
                return false;
            }
            set_file.image_bytes = SizeOf(set_file.image);
            if (rows != nullptr && rows->image_row == ImageRow::kSoftware)
                software_bytes_ = set_file.image_bytes;
            else if (rows != nullptr && rows->image_row != ImageRow::kQcsHeader)
                still_to_come_ += progress_.WholeImageProgress(rows->image_row);
            files_.push_back(std::move(set_file));
        }
        return true;
    }

    bool Greet() {
        if (host_.Hello(st::kFeatureUncompressed | st::kFeatureMultiImage) == DMSS_SUCCESS &&
            host_.SecurityMode() == DMSS_SUCCESS)
            return true;
        // The programmer runs but does not take the station's terms.
        const int size = static_cast<int>(SizeOf(image_set_.programmer));
        call_.report(kProgrammerFailed, size, size);
        return false;
    }

    bool WriteTable() {
        if (host_.PartitionTable(BytesOf(table_), call_.erase_efs) != DMSS_SUCCESS) {
            progress_.Failed(ImageRow::kPartitionTable);
            return false;
        }
        progress_.Written(ImageRow::kPartitionTable, table_.size());
        return true;
    }

    bool WriteImages() {
        for (const SetFile& file : files_) {
            if (!WriteImage(file))
                return false;
        }
        progress_.Finish();
        return true;
    }

    bool WriteImage(const SetFile& file) {
        const ImageRows* rows = RowsOf(file.file->image_type);
        const int size = static_cast<int>(std::min<std::uint64_t>(file.image_bytes, INT_MAX));
        // What a failure of the write reports, with the bytes written so far.
        const auto write_failed = [&](std::uint64_t written) {
            if (rows == nullptr)
                call_.report(kModuleFailed, static_cast<int>(written), size);
            else if (rows->image_row == ImageRow::kSoftware)
                progress_.Failed(ImageRow::kSoftware);
            else if (rows->image_row == ImageRow::kQcsHeader)
                call_.report(kImageFailed, static_cast<int>(ImageRow::kQcsHeader));
            else
                call_.report(kImageFailed, static_cast<int>(rows->image_row),
                             static_cast<int>(written), size);
            return false;
        };

        Bytes header;
        if (!file.header.empty()) {
            const std::optional<Bytes> read =
                platform::ReadFileBytes(file.header, st::kLargestOpenPayload);
            if (!read) {
                call_.report(kDownloadFailed);
                return false;
            }
            header = *read;
        }
        const std::unique_ptr<platform::InputFile> image = platform::OpenInputFile(file.image);
        if (image == nullptr || image->size() > kLargestImage) {
            call_.report(kDownloadFailed);
            return false;
        }
        const std::uint64_t total = image->size();
        if (rows == nullptr)
            call_.report(kModuleProgress, 0, size);
        else if (rows->header_row)
            call_.report(kImageProgress, static_cast<int>(*rows->header_row));
        else if (rows->image_row == ImageRow::kQcsHeader)
            call_.report(kImageProgress, static_cast<int>(ImageRow::kQcsHeader));

        if (host_.OpenMultiImage(file.file->image_type, BytesOf(header)) != DMSS_SUCCESS) {
            if (rows != nullptr && rows->header_row) {
                call_.report(kImageFailed, static_cast<int>(*rows->header_row));
                return false;
            }
            return write_failed(0);
        }
        std::uint64_t written = 0;
        // The blocks are served from one piece of the file at a time; the next piece is read
        // while the blocks of the last one are still on the way.
        std::vector<std::uint8_t> piece(
            static_cast<std::size_t>(std::min<std::uint64_t>(total, kImagePiece)));
        std::uint64_t piece_at = 0;
        std::size_t piece_bytes = 0;
        bool read_failed = false;
        const auto source = [&](std::size_t offset,
                                std::size_t length) -> std::span<const std::uint8_t> {
            if (offset < piece_at || offset + length > piece_at + piece_bytes) {
                piece_at = offset;
                piece_bytes =
                    static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), total - offset));
                if (length > piece_bytes || !image->ReadAt(offset, piece.data(), piece_bytes)) {
                    read_failed = true;
                    piece_bytes = 0;
                    return {};
                }
            }
            return std::span(piece).subspan(static_cast<std::size_t>(offset - piece_at), length);
        };
        const auto answered = [&](std::size_t done) {
            if (rows != nullptr && rows->image_row == ImageRow::kSoftware)
                progress_.Written(ImageRow::kSoftware, done - written);
            written = done;
        };
        if (host_.StreamWrite(static_cast<std::size_t>(total), source, answered) != DMSS_SUCCESS) {
            if (read_failed) {
                call_.report(kDownloadFailed);
                return false;
            }
            return write_failed(written);
        }
        if (host_.Close() != DMSS_SUCCESS)
            return write_failed(written);
        if (rows == nullptr)
            call_.report(kModuleProgress, size, size);
        else if (rows->image_row == ImageRow::kQcsBootLoader ||
                 rows->image_row == ImageRow::kOemBootLoader)
            progress_.WholeImage(rows->image_row, total);
        return true;
    }

    const PluginCall& call_;
    const ImageSet& image_set_;
    qcom::PacketPort port_;
    qcom::StreamingHost host_;
    ProgressReports progress_;
    Bytes table_;
    std::vector<SetFile> files_;
    std::uint64_t software_bytes_ = 0;  // amss.mbn's
    float still_to_come_ = 0;           // the progress of the images before it
};

}  // namespace

bool NandMultiDownload(const PluginCall& call, const ImageSet& image_set) {
    if (call.port == nullptr)
        return false;
    return NandRun(call, image_set).Run();
}

}  // namespace fendrel::flashlibs
