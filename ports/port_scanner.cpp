#include "ports/port_scanner.h"

#include "app/config_keys.h"
#include "platform/ascii.h"

namespace fendrel {
namespace {

constexpr std::string_view kUartType = "UART";
constexpr std::size_t kPrefixLength = 3;

// The position of the first text found in `instance_id`, or -1.
int FirstMatch(const std::vector<std::string>& texts, const std::string& instance_id) {
    if (instance_id.empty())
        return -1;
    // ASCII letters lowered, every other byte (of a multi-byte character too) kept.
    const std::string lowered = platform::AsciiLowered(instance_id);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (lowered.find(texts[i]) != std::string::npos)
            return static_cast<int>(i);
    }
    return -1;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, kPrefixLength, prefix) == 0;
}

// The numbered texts 1 to the list's size. Reading stops after the first empty text: it matches
// every instance id, so no later text could ever decide, and a size key of two thousand million
// must not keep the page reading for ever.
std::vector<std::string> ReadTexts(const CIniFile& ini, const config::IntKey& size_key,
                                   std::string_view format) {
    std::vector<std::string> texts;
    const int size = ini.GetInt(size_key);
    for (int number = 1; number <= size; ++number) {
        texts.push_back(
            ini.GetString(config::kDeviceInfo, config::NumberedKey(format, number), ""));
        if (texts.back().empty())
            break;
    }
    return texts;
}

}  // namespace

CPortScanner::CPortScanner()
    : CPortScanner(platform::DeviceEnumerator::FromEnvironment(), ConfigFilePath()) {}

CPortScanner::CPortScanner(platform::DeviceEnumerator devices, std::string config_path)
    : serial_ports_(devices),
      modems_(devices),
      ini_(std::move(config_path)),
      not_supported_texts_(
          ReadTexts(ini_, config::kNotSupportPortSize, config::kNotSupportPortHwidFormat)),
      usb_texts_(ReadTexts(ini_, config::kUsbSize, config::kUsbHwidFormat)),
      supported_modem_texts_(
          ReadTexts(ini_, config::kSupportModemSize, config::kSupportModemHwidFormat)) {
    for (std::size_t i = 0; i < usb_texts_.size(); ++i) {
        usb_type_texts_.push_back(ini_.GetString(
            config::kDeviceInfo,
            config::NumberedKey(config::kUsbTypeFormat, static_cast<int>(i) + 1), ""));
    }
}

void CPortScanner::Scan() {
    ports_.clear();
    serial_ports_.Enumerate();
    for (const DEVICE_RECORD& record : serial_ports_.records()) {
        if (IsNotSupportedPort(record.instance_id))
            continue;
        if (!StartsWith(record.port_name, "COM") && !StartsWith(record.port_name, "ADB"))
            continue;
        std::string type;
        if (!FindUsbType(record.instance_id, type))
            type = kUartType;
        if (!record.port_name.empty() && !type.empty())
            ports_.push_back({record.port_name, type, record.kind});
    }
    modems_.Enumerate();
    for (const DEVICE_RECORD& record : modems_.records()) {
        if (!IsSupportedModem(record.instance_id) || !StartsWith(record.attached_port, "COM"))
            continue;
        ports_.push_back({record.attached_port, std::string(kUartType), kModemPortKind});
    }
}

PORT_RECORD CPortScanner::GetPort(int index) const {
    if (index < 0 || index >= GetPortCount())
        return {};
    return ports_[static_cast<std::size_t>(index)];
}

bool CPortScanner::IsNotSupportedPort(const std::string& instance_id) const {
    return FirstMatch(not_supported_texts_, instance_id) >= 0;
}

bool CPortScanner::FindUsbType(const std::string& instance_id, std::string& type) const {
    type.clear();
    const int match = FirstMatch(usb_texts_, instance_id);
    if (match < 0)
        return false;
    type = usb_type_texts_[static_cast<std::size_t>(match)];
    return true;
}

bool CPortScanner::IsSupportedModem(const std::string& instance_id) const {
    return FirstMatch(supported_modem_texts_, instance_id) >= 0;
}

std::vector<std::string> CPortScanner::problems() const {
    std::vector<std::string> all = serial_ports_.problems();
    all.insert(all.end(), modems_.problems().begin(), modems_.problems().end());
    return all;
}

}  // namespace fendrel
