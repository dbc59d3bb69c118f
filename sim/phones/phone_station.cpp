#include "sim/phones/phone_station.h"

#include <filesystem>

#include "sim/phones/phone_modes.h"

namespace sim {

PhoneStation::PhoneStation(std::string folder)
    : folder_(std::move(folder)), tree_(folder_ + "/sys") {
    std::error_code ignored;  // a missing folder shows when a disk-mode phone is plugged
    std::filesystem::create_directories(folder_ + "/disks", ignored);
}

PhoneStation::~PhoneStation() {
    phones_.clear();
}

int PhoneStation::AddPhone(PhoneProfile profile) {
    auto talk = std::make_unique<TalkingPhone>(std::move(profile));
    TalkingPhone* const talking = talk.get();
    const std::string place = "1-" + std::to_string(phones_.size() + 1);
    phones_.push_back({talking, std::make_unique<SimulatedPhone>(tree_, place, std::move(talk))});
    return size();
}

bool PhoneStation::Plug(int number, std::uint16_t product) {
    SimulatedPhone& plugged = phone(number);
    const std::string serial = "SIM" + std::to_string(number);
    UsbIdentity identity = NormalModeIdentity(serial);
    if (product == kDownloadModeProduct) {
        identity = DownloadModeIdentity(serial);
    } else if (product == kDiskModeProduct) {
        const std::string image = folder_ + "/disks/phone" + std::to_string(number) + ".img";
        identity = DiskModeIdentity(serial, image, kDiskBytes);
    }
    if (plugged.Plug(identity))
        return true;
    error_ = plugged.error();
    return false;
}

std::string PhoneStation::error() const {
    return error_;
}

}  // namespace sim
