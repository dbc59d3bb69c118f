// A station of simulated phones that speak (TalkingPhone), numbered from 1 and plugged at USB
// places 1-1, 1-2, ... of one fake device tree: fendrel-sim's phones, and those of the
// integration tests and benchmarks. Phone n's flash is the disk image DIR/disks/phoneN.img, made
// sparse at the station's disk size when missing and kept for the phone's whole life: disk mode
// shows it as a disk, a flash family's download mode writes it through its protocol. A NAND
// phone's flash is the folder DIR/nand/phoneN, a NOR phone's the file DIR/nor/phoneN.img.
//
// Threads: phones are added and plugged from one thread; each phone then runs its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/phones/fake_device_tree.h"
#include "sim/phones/flash_family.h"
#include "sim/phones/simulated_phone.h"
#include "sim/phones/talking_phone.h"

namespace sim {

class PhoneStation {
  public:
    static constexpr std::uint64_t kDefaultDiskBytes = 64ull << 20;

    // The device tree in `folder`/sys, the phones' flash images in `folder`/disks (made when
    // missing), each of `disk_bytes`.
    explicit PhoneStation(std::string folder, std::uint64_t disk_bytes = kDefaultDiskBytes);
    // Unplugs every phone.
    ~PhoneStation();

    // A phone that answers with `profile` and, when `family` is given, speaks that flash family
    // in download mode; not yet plugged. Returns its number.
    int AddPhone(PhoneProfile profile = {}, const FlashFamily* family = nullptr);
    // Plugs phone `number` in the mode of USB product `product` (9025, 9008 or 9006), or
    // re-plugs it so. False when that failed; error() says why.
    bool Plug(int number, std::uint16_t product);

    int size() const { return static_cast<int>(phones_.size()); }
    SimulatedPhone& phone(int number) { return *phones_.at(Index(number)).phone; }
    TalkingPhone& talk(int number) { return *phones_.at(Index(number)).talk; }
    const FakeDeviceTree& tree() const { return tree_; }
    // Phone `number`'s flash image.
    std::string DiskImage(int number) const;
    // Where a phone of the nand family keeps its images, and a nor phone its flash.
    std::string NandFolder(int number) const;
    std::string NorImage(int number) const;
    std::uint64_t disk_bytes() const { return disk_bytes_; }
    std::string error() const;

  private:
    struct Entry {
        TalkingPhone* talk;  // owned by the phone
        std::unique_ptr<SimulatedPhone> phone;
    };
    static std::size_t Index(int number) { return static_cast<std::size_t>(number - 1); }

    const std::string folder_;
    const std::uint64_t disk_bytes_;
    FakeDeviceTree tree_;
    std::vector<Entry> phones_;
    std::string error_;
};

}  // namespace sim
