#include "sim/phones/flash_family.h"

#include <array>

#include "sim/phones/firehose_phone.h"

namespace sim {
namespace {

// An eMMC phone's download mode is still DMSS download of a phone without a family.
std::unique_ptr<DownloadSpeaker> DmssDownload(const FamilySetup&) {
    return nullptr;
}

constexpr std::array kFamilies = {
    FlashFamily{"firehose", "Sahara, then Firehose against the eMMC DIR/disks/phoneN.img",
                MakeFirehosePhone, false},
    FlashFamily{"emmc",
                "switched from normal mode, shows its eMMC DIR/disks/phoneN.img as a disk (9006)",
                DmssDownload, true},
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
