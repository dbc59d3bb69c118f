#include "engine/phone_disk.h"

namespace fendrel {

bool IsPhoneDisk(const platform::Disk& disk) {
    return disk.usb && disk.usb->vendor == kPhoneDiskVendor &&
           disk.usb->product == kPhoneDiskProduct;
}

PhoneDiskChoice ChoosePhoneDisk(const std::vector<platform::Disk>& disks,
                                std::string_view usb_place) {
    PhoneDiskChoice choice;
    for (const platform::Disk& disk : disks) {
        if (!IsPhoneDisk(disk) || (!usb_place.empty() && disk.usb->place != usb_place))
            continue;
        if (choice.outcome == PhoneDiskChoice::Outcome::kFound)
            return {PhoneDiskChoice::Outcome::kSeveral, {}};
        choice = {PhoneDiskChoice::Outcome::kFound, disk};
    }
    return choice;
}

}  // namespace fendrel
