#include "engine/worker_messages.h"

#include <limits>

namespace fendrel {
namespace {

// Port numbers of Windows COM names stay far below this; a larger number is not a COM port.
constexpr std::uintptr_t kMaxPortNumber = std::numeric_limits<std::uint32_t>::max();

WorkerMessageIds RegisterAll() {
    using platform::RegisterMessage;
    return {
        .start = RegisterMessage(kStartMessage),
        .status = RegisterMessage(kStatusMessage),
        .progress = RegisterMessage(kProgressMessage),
        .wait = RegisterMessage(kWaitMessage),
        .resume = RegisterMessage(kContinueMessage),
        .error = RegisterMessage(kErrorMessage),
        .success = RegisterMessage(kSuccessMessage),
        .end = RegisterMessage(kEndMessage),
        .feedback = RegisterMessage(kFeedbackMessage),
        .found_phone = RegisterMessage(kFoundPhoneMessage),
        .no_phone = RegisterMessage(kNoPhoneMessage),
        .get_esn = RegisterMessage(kGetEsnMessage),
        .get_version = RegisterMessage(kGetVersionMessage),
        .get_type = RegisterMessage(kGetTypeMessage),
        .list_button_click = RegisterMessage(kListButtonClickMessage),
    };
}

}  // namespace

const WorkerMessageIds& WorkerMessages() {
    static const WorkerMessageIds ids = RegisterAll();
    return ids;
}

std::uintptr_t PortNumberOf(std::string_view port_name) {
    constexpr std::size_t kPrefixLength = 3;  // "COM"
    if (port_name.size() <= kPrefixLength)
        return 0;
    std::uintptr_t number = 0;
    for (const char c : port_name.substr(kPrefixLength)) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + static_cast<std::uintptr_t>(c - '0');
        if (number > kMaxPortNumber)
            return kMaxPortNumber;
    }
    return number;
}

}  // namespace fendrel
