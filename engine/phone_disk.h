// Which disk is a phone's: the disk a phone shows in its 9006 mode is recognised by the USB
// device it belongs to (vendor 05C6, product 9006), never by its number, size or letter.
//
// A worker that knows where its phone is plugged takes only a disk at that USB place, so several
// workers can each write their own phone at once. A worker that does not know takes the one phone
// disk present; with more than one it cannot tell which is its phone's, and takes none.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/disks.h"

namespace fendrel {

inline constexpr std::uint16_t kPhoneDiskVendor = 0x05C6;
inline constexpr std::uint16_t kPhoneDiskProduct = 0x9006;

// Whether `disk` belongs to a phone in its 9006 mode.
bool IsPhoneDisk(const platform::Disk& disk);

struct PhoneDiskChoice {
    enum class Outcome {
        kFound,    // `disk` is the phone's
        kNone,     // no phone disk (at the place)
        kSeveral,  // more than one phone disk could be the phone's
    };
    Outcome outcome = Outcome::kNone;
    platform::Disk disk;
};

// The phone's disk among `disks`: the phone disk at `usb_place`, or, when the place is empty, the
// only phone disk present. Two at one place are as ambiguous as two without a place.
PhoneDiskChoice ChoosePhoneDisk(const std::vector<platform::Disk>& disks,
                                std::string_view usb_place);

}  // namespace fendrel
