#include "platform/com_name_arbiter.h"

#include <set>

#include "platform/ascii.h"

namespace platform {
namespace {

constexpr std::string_view kEnumPath = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr std::string_view kDeviceParameters = "\\Device Parameters";
constexpr std::string_view kPortName = "PortName";
constexpr std::size_t kMaxPortNumberDigits = 9;

bool IsDeviceParametersKey(std::string_view path) {
    return path.size() > kEnumPath.size() + kDeviceParameters.size() &&
           EqualsIgnoringAsciiCase(path.substr(0, kEnumPath.size()), kEnumPath) &&
           EqualsIgnoringAsciiCase(path.substr(path.size() - kDeviceParameters.size()),
                                   kDeviceParameters);
}

std::optional<std::string> RecordedName(const RegistryKey* key) {
    const RegistryValue* value = key != nullptr ? key->FindValue(kPortName) : nullptr;
    auto name = value != nullptr ? value->text() : std::nullopt;
    if (name && name->empty())
        return std::nullopt;
    return name;
}

unsigned LowestFreeNumber(const RegistryHive& hive) {
    std::set<unsigned> taken;
    for (const RegistryKey& key : hive.keys()) {
        if (!IsDeviceParametersKey(key.path))
            continue;
        if (const auto name = RecordedName(&key)) {
            if (const auto number = ComPortNumber(*name))
                taken.insert(*number);
        }
    }
    unsigned number = 1;
    while (taken.contains(number))
        ++number;
    return number;
}

}  // namespace

std::string ComNameArbiter::DeviceParametersPath(std::string_view instance_id) {
    return std::string(kEnumPath) + std::string(instance_id) + std::string(kDeviceParameters);
}

std::optional<std::string> ComNameArbiter::NameFor(std::string_view instance_id,
                                                   std::string* error) const {
    const std::string path = DeviceParametersPath(instance_id);
    if (!IsValidKeyPath(path)) {
        if (error != nullptr)
            *error = "the instance id \"" + std::string(instance_id) + "\" cannot name a key";
        return std::nullopt;
    }
    // Known devices are answered without taking the hive's lock.
    const auto hive = store_.ReadHive(Hive::kLocalMachine, error);
    if (!hive)
        return std::nullopt;
    if (auto name = RecordedName(hive->FindKey(path)))
        return name;

    std::string name;
    const bool recorded = store_.UpdateHive(
        Hive::kLocalMachine,
        [&](RegistryHive& contents, std::string&) {
            // Another process may have named the device since the read above.
            if (auto existing = RecordedName(contents.FindKey(path))) {
                name = std::move(*existing);
                return SettingsStore::Change::kKeep;
            }
            name = "COM" + std::to_string(LowestFreeNumber(contents));
            contents.AddKey(path).SetValue(RegistryValue::String(kPortName, name));
            return SettingsStore::Change::kWrite;
        },
        error);
    if (!recorded)
        return std::nullopt;
    return name;
}

std::optional<unsigned> ComPortNumber(std::string_view port_name) {
    if (port_name.size() <= 3 || port_name.size() > 3 + kMaxPortNumberDigits ||
        !EqualsIgnoringAsciiCase(port_name.substr(0, 3), "COM"))
        return std::nullopt;
    unsigned number = 0;
    for (const char c : port_name.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number == 0)
        return std::nullopt;
    return number;
}

}  // namespace platform
