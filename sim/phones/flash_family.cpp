#include "sim/phones/flash_family.h"

#include <array>

#include "sim/phones/firehose_phone.h"
#include "sim/phones/nand_programmer.h"
#include "sim/phones/nor_programmer.h"
#include "sim/phones/phone_modes.h"

namespace sim {
namespace {

// An eMMC phone's download mode is still DMSS download of a phone without a family.
std::unique_ptr<DownloadSpeaker> DmssDownload(const FamilySetup&) {
    return nullptr;
}

// An eMMC phone's RAM programmer shows the eMMC to the host as a disk: once started, the phone
// leaves the bus and comes back at its place as 9006.
class EmmcProgrammer final : public DownloadSpeaker {
  public:
    explicit EmmcProgrammer(const FamilySetup& setup)
        : disk_image_(setup.disk_image), disk_bytes_(setup.disk_bytes) {}

    void OnStarted(PhoneControl& phone) override {
        phone.Replug(DiskModeIdentity(phone.identity().serial, disk_image_, disk_bytes_));
    }
    void OnHostBytes(PhoneControl&, std::span<const std::uint8_t>, PhoneFault) override {}

  private:
    const std::string disk_image_;
    const std::uint64_t disk_bytes_;
};

std::unique_ptr<DownloadSpeaker> MakeEmmcProgrammer(const FamilySetup& setup) {
    return std::make_unique<EmmcProgrammer>(setup);
}

constexpr std::array kFamilies = {
    FlashFamily{"firehose", "Sahara, then Firehose against the eMMC DIR/disks/phoneN.img",
                MakeFirehosePhone, nullptr, false},
    FlashFamily{"emmc",
                "DMSS download; a programmer started with GO, or a switch from normal mode, "
                "shows its eMMC DIR/disks/phoneN.img as a disk (9006)",
                DmssDownload, MakeEmmcProgrammer, true},
    FlashFamily{"nand", "DMSS download, then streaming download multi-image into DIR/nand/phoneN/",
                DmssDownload, MakeNandProgrammer, false},
    FlashFamily{"nor", "DMSS download, then the NOR programmer's commands on DIR/nor/phoneN.img",
                DmssDownload, MakeNorProgrammer, false},
};

}  // namespace

std::span<const FlashFamily> FlashFamilies() {
    return kFamilies;
}

const FlashFamily* FindFlashFamily(std::string_view name) {
    for (const FlashFamily& family : FlashFamilies()) {
        if (family.name == name)
            return &family;
    }
    return nullptr;
}

}  // namespace sim
