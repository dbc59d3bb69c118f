#include "sim/phones/phone_faults.h"

#include <utility>

namespace sim {

std::optional<PhoneFault> ParseFault(std::string_view name) {
    const std::pair<std::string_view, PhoneFault> names[] = {
        {"none", PhoneFault::kNone},
        {"silent", PhoneFault::kSilent},
        {"bad-crc", PhoneFault::kCorruptCrc},
        {"nak", PhoneFault::kNak},
        {"delay", PhoneFault::kDelay},
        {"unplug-mid-reply", PhoneFault::kUnplugMidReply},
        {"stay-online", PhoneFault::kStayOnline},
        {"switch-error", PhoneFault::kSwitchError},
        {"bad-digest", PhoneFault::kBadDigest},
        {"unplug-mid-program", PhoneFault::kUnplugMidProgram},
        {"refuse-programmer", PhoneFault::kRefuseProgrammer},
        {"no-digest", PhoneFault::kNoDigest},
        {"error-mid-write", PhoneFault::kErrorMidWrite},
        {"unplug-mid-stream", PhoneFault::kUnplugMidStream},
        {"table-differs", PhoneFault::kTableDiffers},
    };
    for (const auto& [text, fault] : names) {
        if (text == name)
            return fault;
    }
    return std::nullopt;
}

}  // namespace sim
