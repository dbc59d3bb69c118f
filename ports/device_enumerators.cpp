#include "ports/device_enumerators.h"

#include "ports/port_record.h"

namespace fendrel {
namespace {

// SetupAPI's property buffers and the registry value buffers of the enumerators.
constexpr std::size_t kPropertyBufferBytes = 256;
constexpr std::size_t kValueBufferBytes = 512;

// The text as read into a buffer of `bytes` bytes: whole with its terminating zero, or not at
// all (the Windows call fails on a buffer too small).
std::string Fitting(const std::string& text, std::size_t bytes) {
    return text.size() < bytes ? text : std::string();
}

// The fields every record has, read as the Windows calls read them.
DEVICE_RECORD Record(const platform::PresentDevice& device) {
    DEVICE_RECORD record;
    record.instance_id = Fitting(device.instance_id, kPropertyBufferBytes);
    record.hardware_id = Fitting(device.hardware_id, kPropertyBufferBytes);
    return record;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool Complete(const DEVICE_RECORD& record) {
    return !record.port_name.empty() && !record.hardware_id.empty() && !record.instance_id.empty();
}

}  // namespace

void CSerialPortEnumerator::Enumerate() {
    records_.clear();
    problems_.clear();
    for (const platform::PresentDevice& device :
         devices_.PresentDevices(platform::DeviceClass::kPorts, &problems_)) {
        DEVICE_RECORD record = Record(device);
        record.port_name = Fitting(device.port_name, kValueBufferBytes);
        if (!Complete(record))
            continue;
        const std::string& id = record.instance_id;
        const std::pair<bool, int> rules[] = {
            {Contains(id, "MI_00") && !Contains(id, "9006"), PORT_KIND_DIAG},
            {Contains(id, "9008"), PORT_KIND_DLOAD},
            {Contains(id, "9006"), PORT_KIND_STORAGE},
        };
        for (const auto& [holds, kind] : rules) {
            if (holds) {
                record.kind = kind;
                records_.push_back(record);
            }
        }
    }
}

void CModemEnumerator::Enumerate() {
    records_.clear();
    problems_.clear();
    for (const platform::PresentDevice& device :
         devices_.PresentDevices(platform::DeviceClass::kModem, &problems_)) {
        DEVICE_RECORD record = Record(device);
        record.port_name = Fitting(device.friendly_name, kPropertyBufferBytes);
        record.attached_port = Fitting(device.port_name, kValueBufferBytes);
        if (Complete(record))
            records_.push_back(std::move(record));
    }
}

}  // namespace fendrel
