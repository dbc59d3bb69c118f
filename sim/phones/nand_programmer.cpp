#include "sim/phones/nand_programmer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "qcom/streaming_protocol.h"
#include "sim/phones/streaming_programmer.h"

namespace sim {
namespace {

namespace st = fendrel::qcom::streaming;
using fendrel::qcom::Packet;

constexpr std::uint8_t kFeatures = st::kFeatureUncompressed | st::kFeatureMultiImage;
constexpr std::size_t kWriteBuffer = 1 << 20;

// The file of `image_type` under the phone's folder, and of its header.
std::string FileOf(std::uint8_t image_type, bool header) {
    std::string name;
    switch (image_type) {
        case st::kImageQcsblHeader:
            name = "qcsblhd-cfgdata";
            break;
        case st::kImageQcsbl:
            name = "qcsbl";
            break;
        case st::kImageOemsbl:
            name = "oemsbl";
            break;
        case st::kImageAmss:
            name = "amss";
            break;
        case st::kImageApps:
            name = "apps";
            break;
        case st::kImageAppsBootLoader:
            name = "apps-boot";
            break;
        default: {
            char text[16];
            std::snprintf(text, sizeof text, "type-%02X", image_type);
            name = text;
        }
    }
    return name + (header ? "-header.mbn" : ".mbn");
}

bool TakesHeader(std::uint8_t image_type) {
    return image_type == st::kImageOemsbl || image_type == st::kImageAmss ||
           image_type == st::kImageApps || image_type == st::kImageAppsBootLoader;
}

bool WriteWhole(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

class NandProgrammer final : public StreamingProgrammer {
  public:
    explicit NandProgrammer(const FamilySetup& setup)
        : StreamingProgrammer(kFeatures, "SIM-NAND"), folder_(setup.nand_folder) {}

  private:
    bool OnCommand(PhoneControl& phone, const Packet& packet) override {
        if (packet[0] == st::kPartitionTable) {
            OnPartitionTable(phone, packet);
            return true;
        }
        if (packet[0] == st::kOpenMultiImage) {
            OnOpen(phone, packet);
            return true;
        }
        return false;
    }

    void OnPartitionTable(PhoneControl& phone, const Packet& packet) {
        const auto request = fendrel::qcom::DecodePartitionTableRequest(packet);
        if (!request || request->table.empty() ||
            request->table.size() > st::kLargestPartitionTable) {
            Answer(phone, {st::kPartitionTableReceived, st::kTableNotRecognised});
            return;
        }
        const std::filesystem::path path = folder_ / "partition-table.mbn";
        std::ifstream held(path, std::ios::binary);
        const Packet phone_table((std::istreambuf_iterator<char>(held)),
                                 std::istreambuf_iterator<char>());
        const bool differs =
            fault() == PhoneFault::kTableDiffers ||
            (held.is_open() && !std::equal(phone_table.begin(), phone_table.end(),
                                           request->table.begin(), request->table.end()));
        if (differs && !request->override_table) {
            Answer(phone, {st::kPartitionTableReceived, st::kTableDiffers});
            return;
        }
        std::error_code ignored;
        std::filesystem::create_directories(folder_, ignored);
        if (!WriteWhole(path, request->table)) {
            Answer(phone, {st::kPartitionTableReceived, st::kTableEraseFailed});
            return;
        }
        table_taken_ = true;
        Answer(phone,
               {st::kPartitionTableReceived, differs ? st::kTableDiffers : st::kTableAccepted});
    }

    void OnOpen(PhoneControl& phone, const Packet& packet) {
        CloseOpen();
        SetOpen(false);
        const auto request = fendrel::qcom::DecodeOpenMultiImageRequest(packet);
        if (!request) {
            Refuse(phone, st::kErrorInvalidLength, "malformed open");
            return;
        }
        if (!table_taken_) {
            Refuse(phone, st::kErrorOutOfSequence, "no partition table yet");
            return;
        }
        std::uint8_t status = st::kOpenDone;
        if (request->payload.size() > st::kLargestOpenPayload)
            status = st::kOpenPayloadTooLong;
        else if (TakesHeader(request->image_type) && request->payload.empty())
            status = st::kOpenPayloadRequired;
        else if (!TakesHeader(request->image_type) && !request->payload.empty())
            status = st::kOpenNoPayloadExpected;
        if (status == st::kOpenDone && TakesHeader(request->image_type) &&
            !WriteWhole(folder_ / FileOf(request->image_type, true), request->payload))
            status = st::kOpenWriteProtected;
        if (status == st::kOpenDone) {
            // The image's file is written over in place and cut to what was written when it is
            // closed: emptying it first would have the file system free and take again every
            // page of a large image, work a phone's flash does in the chip.
            image_path_ = folder_ / FileOf(request->image_type, false);
            image_.open(image_path_, std::ios::binary | std::ios::in | std::ios::out);
            if (!image_.is_open())
                image_.open(image_path_, std::ios::binary | std::ios::out);  // a new one
            written_ = 0;
            if (!image_)
                status = st::kOpenWriteProtected;
        }
        SetOpen(status == st::kOpenDone);
        Answer(phone, {st::kOpenedMultiImage, status});
    }

    bool Write(std::uint32_t address, std::span<const std::uint8_t> data,
               std::string& error) override {
        if (address != written_) {
            error = "stream writes go in order";
            return false;
        }
        // Blocks go to the file in large writes, as a phone's flash takes whole pages (the
        // stream's own buffer would pass each block straight through).
        unwritten_.insert(unwritten_.end(), data.begin(), data.end());
        written_ += data.size();
        if (unwritten_.size() >= kWriteBuffer && !WriteOut()) {
            error = "image file not written";
            return false;
        }
        return true;
    }

    bool WriteOut() {
        image_.write(reinterpret_cast<const char*>(unwritten_.data()),
                     static_cast<std::streamsize>(unwritten_.size()));
        unwritten_.clear();
        return static_cast<bool>(image_);
    }

    bool CloseOpen() override {
        if (!image_.is_open())
            return true;
        const bool written = WriteOut();
        image_.close();
        std::error_code cut;
        std::filesystem::resize_file(image_path_, written_, cut);
        return written && !image_.fail() && !cut;
    }

    void OnStarted(PhoneControl& phone) override {
        StreamingProgrammer::OnStarted(phone);
        table_taken_ = false;
    }

    const std::filesystem::path folder_;
    bool table_taken_ = false;
    std::filesystem::path image_path_;
    std::fstream image_;
    std::vector<std::uint8_t> unwritten_;  // blocks taken, not yet in the file
    std::uint64_t written_ = 0;
};

}  // namespace

std::unique_ptr<DownloadSpeaker> MakeNandProgrammer(const FamilySetup& setup) {
    return std::make_unique<NandProgrammer>(setup);
}

}  // namespace sim
