#include "sim/phones/phone_station.h"

#include <filesystem>

#include "sim/phones/phone_modes.h"

namespace sim {

PhoneStation::PhoneStation(std::string folder, std::uint64_t disk_bytes)
    : folder_(std::move(folder)), disk_bytes_(disk_bytes), tree_(folder_ + "/sys") {
    std::error_code ignored;  // a missing folder shows when a disk-mode phone is plugged
    std::filesystem::create_directories(folder_ + "/disks", ignored);
}

PhoneStation::~PhoneStation() {
    phones_.clear();
}

int PhoneStation::AddPhone(PhoneProfile profile, const FlashFamily* family) {
    const int number = size() + 1;
    std::unique_ptr<DownloadSpeaker> download, programmer;
    if (family != nullptr) {
        const FamilySetup setup{DiskImage(number), disk_bytes_, NandFolder(number),
                                NorImage(number), profile.largest_raw_piece};
        download = family->make(setup);
        if (family->make_programmer != nullptr)
            programmer = family->make_programmer(setup);
    }
    if (family != nullptr && family->switches_to_disk)
        profile.disk_after_switch = PhoneProfile::Disk{DiskImage(number), disk_bytes_};
    auto talk = std::make_unique<TalkingPhone>(std::move(profile), std::move(download),
                                               std::move(programmer));
    TalkingPhone* const talking = talk.get();
    const std::string place = "1-" + std::to_string(number);
    phones_.push_back({talking, std::make_unique<SimulatedPhone>(tree_, place, std::move(talk))});
    return number;
}

bool PhoneStation::Plug(int number, std::uint16_t product) {
    SimulatedPhone& plugged = phone(number);
    const std::string serial = "SIM" + std::to_string(number);
    UsbIdentity identity = NormalModeIdentity(serial);
    if (product == kDownloadModeProduct) {
        identity = DownloadModeIdentity(serial);
    } else if (product == kDiskModeProduct) {
        identity = DiskModeIdentity(serial, DiskImage(number), disk_bytes_);
    }
    if (plugged.Plug(identity))
        return true;
    error_ = plugged.error();
    return false;
}

std::string PhoneStation::DiskImage(int number) const {
    return folder_ + "/disks/phone" + std::to_string(number) + ".img";
}

std::string PhoneStation::NandFolder(int number) const {
    return folder_ + "/nand/phone" + std::to_string(number);
}

std::string PhoneStation::NorImage(int number) const {
    return folder_ + "/nor/phone" + std::to_string(number) + ".img";
}

std::string PhoneStation::error() const {
    return error_;
}

}  // namespace sim
