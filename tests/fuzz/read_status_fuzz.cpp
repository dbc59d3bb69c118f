// Fuzzes read_status with arbitrary device replies. The input is a script:
//   byte 0        bit 0: a data phase is allowed; bits 1-2 pick the size limit
//   then records  a length byte 0-64 followed by that many reply bytes (fewer at the end),
//                 0xFE for a read that fails, 0xFF for one that times out;
//                 other length bytes are taken modulo 65.
// When the script runs out, the device has vanished.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fastboot/protocol.h"
#include "fastboot/transport/adb_errors.h"

namespace {

using namespace brenlo;

class ScriptedApi final : public AdbApi {
  public:
    ScriptedApi(const std::uint8_t* data, std::size_t size, platform::VirtualClock& clock)
        : next_(data), end_(data + size), clock_(clock) {}

    ADBAPIHANDLE AdbCreateInterfaceByName(const wchar_t*) override { return nullptr; }
    ADBAPIHANDLE AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE, AdbOpenAccessType,
                                                AdbOpenSharingMode) override {
        return nullptr;
    }
    ADBAPIHANDLE AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE, AdbOpenAccessType,
                                                 AdbOpenSharingMode) override {
        return nullptr;
    }
    bool AdbGetInterfaceName(ADBAPIHANDLE, void*, unsigned long*, bool) override { return false; }
    bool AdbGetUsbDeviceDescriptor(ADBAPIHANDLE, USB_DEVICE_DESCRIPTOR*) override { return false; }
    bool AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE, USB_INTERFACE_DESCRIPTOR*) override {
        return false;
    }
    bool AdbWriteEndpointSync(ADBAPIHANDLE, const void*, unsigned long size, unsigned long* written,
                              unsigned long) override {
        *written = size;
        return true;
    }
    bool AdbReadEndpointSync(ADBAPIHANDLE, void* buffer, unsigned long size, unsigned long* got,
                             unsigned long timeout) override {
        *got = 0;
        if (next_ == end_)
            return Fail(kErrorInvalidHandle);
        const std::uint8_t record = *next_++;
        if (record == 0xFE)
            return Fail(kErrorGenFailure);
        if (record == 0xFF) {
            clock_.Advance(platform::Milliseconds(timeout));
            return Fail(kErrorSemTimeout);
        }
        const std::size_t length =
            std::min({static_cast<std::size_t>(record % 65), static_cast<std::size_t>(end_ - next_),
                      static_cast<std::size_t>(size)});
        std::memcpy(buffer, next_, length);
        next_ += length;
        *got = static_cast<unsigned long>(length);
        return true;
    }
    bool AdbCloseHandle(ADBAPIHANDLE) override { return true; }
    unsigned long GetLastError() const override { return last_error_; }
    void SetLastError(unsigned long error) override { last_error_ = error; }

    bool exhausted() const { return next_ == end_; }

  private:
    bool Fail(unsigned long error) {
        last_error_ = error;
        return false;
    }

    const std::uint8_t* next_;
    const std::uint8_t* end_;
    platform::VirtualClock& clock_;
    unsigned long last_error_ = kErrorSuccess;
};

void CountReport(std::uintptr_t context, const char* partition, std::int32_t, std::int32_t,
                 const char* text) {
    *reinterpret_cast<std::size_t*>(context) += std::strlen(text) + std::strlen(partition);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint32_t limits[] = {0, 0x10, 0x100000, 0xFFFFFFFF};
    const bool data_phase = (data[0] & 1) != 0;
    const std::uint32_t limit = limits[(data[0] >> 1) & 3];

    platform::VirtualClock clock;
    ScriptedApi api(data + 1, size - 1, clock);
    std::size_t reported = 0;
    flash_request owner{};
    owner.context = reinterpret_cast<std::uintptr_t>(&reported);
    owner.callback = CountReport;
    fb_action step{};
    fb_connection connection{};
    connection.api = &api;
    connection.clock = &clock;
    connection.owner = &owner;
    connection.current_action = &step;

    // Status after status, as a run of steps reads them, until the device is gone.
    while (!api.exhausted()) {
        connection.interface_handle = connection.read_endpoint = connection.write_endpoint =
            reinterpret_cast<ADBAPIHANDLE>(1);
        char response[kResponseSize];
        const int result = read_status(&connection, limit, data_phase, response);
        if (result > 0 && static_cast<std::uint32_t>(result) > limit)
            __builtin_trap();  // a data size above the limit must never come back
        if (result == 0 && std::strlen(response) >= kResponseSize)
            __builtin_trap();
        if (std::strlen(connection.error) >= sizeof connection.error)
            __builtin_trap();
    }
    return 0;
}
