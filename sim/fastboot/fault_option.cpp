#include "sim/fastboot/fault_option.h"

#include <charconv>

namespace fastboot_sim {

bool ParseUnsignedOption(std::string_view text, std::uint32_t* value) {
    int base = 10;
    if (text.starts_with("0x")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

const char kFaultHelp[] =
    "  faults (KIND[=VALUE]@COMMAND, each hits the first command starting with COMMAND, once):\n"
    "    fail[=TEXT]      reply FAIL, with TEXT or alone\n"
    "    info=N           send N INFO lines before the normal reply\n"
    "    data=SIZE        answer a download with DATA of SIZE bytes (0x for hex)\n"
    "    short-reply      reply with the 3 bytes OKA\n"
    "    silence[=MS]     never reply; after MS milliseconds drop the connection\n"
    "    delay=MS         reply normally after MS milliseconds\n"
    "    drop=BYTES       drop the connection after BYTES of a download's data\n";

bool ParseFaultOption(const std::string& text, Fault* fault, std::string* error) {
    const std::size_t at = text.find('@');
    if (at == std::string::npos) {
        *error = "a fault reads KIND[=VALUE]@COMMAND: '" + text + "'";
        return false;
    }
    const std::string_view head = std::string_view(text).substr(0, at);
    fault->command = text.substr(at + 1);
    const std::size_t equals = head.find('=');
    const std::string_view kind = head.substr(0, equals);
    const bool has_value = equals != std::string_view::npos;
    const std::string_view value = has_value ? head.substr(equals + 1) : std::string_view();
    std::uint32_t number = 0;
    const bool numeric = has_value && ParseUnsignedOption(value, &number);
    if (kind == "fail") {
        fault->kind = Fault::Kind::kFail;
        fault->text = std::string(value);
    } else if (kind == "short-reply" && !has_value) {
        fault->kind = Fault::Kind::kShortReply;
    } else if (kind == "silence" && (!has_value || numeric)) {
        fault->kind = Fault::Kind::kSilence;
        fault->hold = std::chrono::milliseconds(number);
    } else if (kind == "info" && numeric) {
        fault->kind = Fault::Kind::kInfo;
        fault->count = number;
        fault->text = "simulated";
    } else if (kind == "data" && numeric) {
        fault->kind = Fault::Kind::kData;
        fault->size = number;
    } else if (kind == "delay" && numeric) {
        fault->kind = Fault::Kind::kDelay;
        fault->hold = std::chrono::milliseconds(number);
    } else if (kind == "drop" && numeric) {
        fault->kind = Fault::Kind::kDropDownload;
        fault->size = number;
    } else {
        *error = "unknown fault or bad value: '" + text + "'";
        return false;
    }
    return true;
}

}  // namespace fastboot_sim
