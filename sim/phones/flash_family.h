// The flash family of a simulated phone: what it speaks in download mode (9008) and what flash
// the protocol writes. fendrel-sim names it per phone as MODE:FAMILY ("download:firehose").
//
// A phone without a family speaks DMSS download in download mode (talking_phone.h). A family
// hands its phone a DownloadSpeaker that takes over the download port (firehose), or keeps DMSS
// download and gives its boot loader a RAM programmer to run: a speaker that takes over once the
// host has uploaded a programmer and started it with GO (nand, emmc, nor). Normal and disk mode
// stay the phone's own (DIAG). Adding a family is a speaker of its own and a row in
// FlashFamilies().
//
// Threads: a speaker is called on its phone's thread, one call at a time, with the same rights
// as a PhoneBehaviour call (phone_behaviour.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sim/phones/phone_behaviour.h"
#include "sim/phones/phone_faults.h"

namespace sim {

class DownloadSpeaker {
  public:
    virtual ~DownloadSpeaker() = default;
    // The phone has come up in download mode (plugged or re-plugged so).
    virtual void OnStarted(PhoneControl& phone) = 0;
    // The host wrote `bytes` to the download port. `fault` is the phone's fault for every
    // request (kNone when it has none, or one for a single command code only).
    virtual void OnHostBytes(PhoneControl& phone, std::span<const std::uint8_t> bytes,
                             PhoneFault fault) = 0;
};

// What a family's phone is given.
struct FamilySetup {
    std::string disk_image;  // the phone's eMMC: DIR/disks/phoneN.img, shared with disk mode
    std::uint64_t disk_bytes = 0;
    std::string nand_folder;  // a NAND phone's images: DIR/nand/phoneN
    std::string nor_image;    // a NOR phone's flash: DIR/nor/phoneN.img
    // The largest piece of raw data its programmer takes at once.
    std::uint64_t largest_piece = 1 << 20;
};

struct FlashFamily {
    std::string_view name;
    std::string_view summary;  // one line for the usage text
    // The family's download mode; a null speaker leaves it DMSS download.
    std::unique_ptr<DownloadSpeaker> (*make)(const FamilySetup& setup);
    // The RAM programmer its DMSS boot loader runs after an upload and GO; null: the boot loader
    // refuses uploads, as a phone without a family does.
    std::unique_ptr<DownloadSpeaker> (*make_programmer)(const FamilySetup& setup) = nullptr;
    // Whether a normal-mode phone told to switch to its downloader comes back with its flash
    // shown as a disk (9006, at the same USB place) instead of in download mode.
    bool switches_to_disk = false;
};

// Every family a phone may be given.
std::span<const FlashFamily> FlashFamilies();
// The family of that name, or null.
const FlashFamily* FindFlashFamily(std::string_view name);

}  // namespace sim
