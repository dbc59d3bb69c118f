#include "sim/phones/flash_family.h"

#include <array>

#include "sim/phones/firehose_phone.h"

namespace sim {
namespace {

constexpr std::array kFamilies = {
    FlashFamily{"firehose", "Sahara, then Firehose against the eMMC DIR/disks/phoneN.img",
                MakeFirehosePhone},
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
