#include "sim/phones/nor_programmer.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/byte_order.h"
#include "qcom/nor_commands.h"
#include "qcom/streaming_protocol.h"
#include "sim/phones/streaming_programmer.h"

namespace sim {
namespace {

namespace st = fendrel::qcom::streaming;
namespace nor = fendrel::qcom::nor;
using fendrel::qcom::Packet;

constexpr fendrel::qcom::NorLayout Layout() {
    fendrel::qcom::NorLayout layout;
    layout.sizes = {kNorBootBytes, kNorEfsBytes, kNorChecksumBytes,
                    kNorFlashBytes - kNorBootBytes - kNorEfsBytes - kNorChecksumBytes};
    return layout;
}

class NorProgrammer final : public StreamingProgrammer {
  public:
    explicit NorProgrammer(const FamilySetup& setup)
        : StreamingProgrammer(st::kFeatureUncompressed, "SIM-NOR"), path_(setup.nor_image) {}

  private:
    bool OnCommand(PhoneControl& phone, const Packet& packet) override {
        switch (packet[0]) {
            case nor::kBootBlockInfo: {
                const std::optional<std::uint32_t> boot =
                    fendrel::qcom::DecodeNorBootBlockInfo(packet);
                if (!boot || *boot > kNorBootBytes)
                    Refuse(phone, st::kErrorInvalidLength, "boot images do not fit the boot block");
                else
                    Answer(phone, fendrel::qcom::EncodeNorLayout(layout_));
                return true;
            }
            case nor::kErase: {
                const std::optional<fendrel::qcom::NorErase> erase =
                    fendrel::qcom::DecodeNorErase(packet);
                if (!erase || !Within(erase->region, erase->offset, erase->length)) {
                    Refuse(phone, st::kErrorInvalidAddress, "erase outside its region");
                    return true;
                }
                std::vector<std::uint8_t> erased(erase->length, 0xFF);
                if (!Put(layout_.offset(erase->region) + erase->offset, erased, false))
                    Refuse(phone, st::kErrorOperationFailed, "flash not written");
                else
                    Answer(phone, fendrel::qcom::EncodeNorErased(erase->region, erase->offset));
                return true;
            }
            case nor::kOpenRegion: {
                const std::optional<nor::Region> region =
                    fendrel::qcom::DecodeNorOpenRegion(packet);
                if (!region) {
                    Refuse(phone, st::kErrorInvalidLength, "malformed open");
                    return true;
                }
                region_ = *region;
                SetOpen(true);
                Answer(phone, fendrel::qcom::EncodeNorRegionOpened(*region));
                return true;
            }
            case nor::kWriteChecksum: {
                const auto request = fendrel::qcom::DecodeNorChecksum(packet);
                std::vector<std::uint8_t> app;
                const bool readable = request &&
                                      request->length <= layout_.size(nor::Region::kApp) &&
                                      Get(layout_.offset(nor::Region::kApp), request->length, app);
                if (!readable || fendrel::qcom::NorChecksum(app) != request->sum) {
                    Refuse(phone, st::kErrorVerifyFailed, "checksum does not match the app");
                    return true;
                }
                std::uint8_t record[8];
                platform::StoreLe32(record, request->sum);
                platform::StoreLe32(record + 4, request->length);
                if (!Put(layout_.offset(nor::Region::kChecksum), record, true))
                    Refuse(phone, st::kErrorOperationFailed, "flash not written");
                else
                    Answer(phone, {nor::kChecksumWritten});
                return true;
            }
            default:
                return false;
        }
    }

    bool Write(std::uint32_t address, std::span<const std::uint8_t> data,
               std::string& error) override {
        if (!Within(region_, address, data.size())) {
            error = "write outside its region";
            return false;
        }
        if (!Put(layout_.offset(region_) + address, data, true)) {
            error = "flash not written";
            return false;
        }
        return true;
    }

    bool CloseOpen() override { return true; }

    bool Within(nor::Region region, std::uint64_t offset, std::uint64_t length) const {
        return offset + length <= layout_.size(region);
    }

    // The flash file, made erased when missing.
    bool Open() {
        if (flash_.is_open())
            return true;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
        if (!std::filesystem::exists(path_, ignored)) {
            std::ofstream made(path_, std::ios::binary);
            const std::vector<char> erased(1 << 20, static_cast<char>(0xFF));
            for (std::uint32_t at = 0; at < kNorFlashBytes; at += erased.size())
                made.write(erased.data(), static_cast<std::streamsize>(erased.size()));
            if (!made)
                return false;
        }
        flash_.open(path_, std::ios::binary | std::ios::in | std::ios::out);
        return flash_.is_open();
    }

    bool Get(std::uint64_t at, std::size_t length, std::vector<std::uint8_t>& bytes) {
        if (!Open())
            return false;
        bytes.resize(length);
        flash_.seekg(static_cast<std::streamoff>(at));
        flash_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
        return static_cast<bool>(flash_);
    }

    // Writes `bytes` at `at`; as a program (`program`) it keeps old & new, as an erase it sets.
    bool Put(std::uint64_t at, std::span<const std::uint8_t> bytes, bool program) {
        std::vector<std::uint8_t> merged(bytes.begin(), bytes.end());
        if (program) {
            std::vector<std::uint8_t> old;
            if (!Get(at, bytes.size(), old))
                return false;
            for (std::size_t i = 0; i < merged.size(); ++i)
                merged[i] &= old[i];
        } else if (!Open()) {
            return false;
        }
        flash_.seekp(static_cast<std::streamoff>(at));
        flash_.write(reinterpret_cast<const char*>(merged.data()),
                     static_cast<std::streamsize>(merged.size()));
        flash_.flush();
        return static_cast<bool>(flash_);
    }

    const std::string path_;
    const fendrel::qcom::NorLayout layout_ = Layout();
    nor::Region region_ = nor::Region::kApp;
    std::fstream flash_;
};

}  // namespace

std::unique_ptr<DownloadSpeaker> MakeNorProgrammer(const FamilySetup& setup) {
    return std::make_unique<NorProgrammer>(setup);
}

}  // namespace sim
