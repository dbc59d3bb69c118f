// A strict stand-in for the USB access calls, for driving the protocol client step by step.
#pragma once

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "fastboot/transport/adb_api.h"
#include "fastboot/transport/adb_errors.h"
#include "platform/clock.h"

namespace brenlo::testing {

class MockAdbApi : public AdbApi {
  public:
    MOCK_METHOD(ADBAPIHANDLE, AdbCreateInterfaceByName, (const wchar_t*), (override));
    MOCK_METHOD(ADBAPIHANDLE, AdbOpenDefaultBulkReadEndpoint,
                (ADBAPIHANDLE, AdbOpenAccessType, AdbOpenSharingMode), (override));
    MOCK_METHOD(ADBAPIHANDLE, AdbOpenDefaultBulkWriteEndpoint,
                (ADBAPIHANDLE, AdbOpenAccessType, AdbOpenSharingMode), (override));
    MOCK_METHOD(bool, AdbGetInterfaceName, (ADBAPIHANDLE, void*, unsigned long*, bool), (override));
    MOCK_METHOD(bool, AdbGetUsbDeviceDescriptor, (ADBAPIHANDLE, USB_DEVICE_DESCRIPTOR*),
                (override));
    MOCK_METHOD(bool, AdbGetUsbInterfaceDescriptor, (ADBAPIHANDLE, USB_INTERFACE_DESCRIPTOR*),
                (override));
    MOCK_METHOD(bool, AdbWriteEndpointSync,
                (ADBAPIHANDLE, const void*, unsigned long, unsigned long*, unsigned long),
                (override));
    MOCK_METHOD(bool, AdbReadEndpointSync,
                (ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long), (override));
    MOCK_METHOD(bool, AdbCloseHandle, (ADBAPIHANDLE), (override));

    unsigned long GetLastError() const override { return last_error_; }
    void SetLastError(unsigned long error) override { last_error_ = error; }

  private:
    unsigned long last_error_ = kErrorSuccess;
};

// Handles the mock hands out; only their identity matters.
inline ADBAPIHANDLE const kInterface = reinterpret_cast<ADBAPIHANDLE>(0x1000);
inline ADBAPIHANDLE const kReadEndpoint = reinterpret_cast<ADBAPIHANDLE>(0x2000);
inline ADBAPIHANDLE const kWriteEndpoint = reinterpret_cast<ADBAPIHANDLE>(0x3000);

// Expects the calls of a successful device_open, in order, for an interface named `name`.
void ExpectOpen(MockAdbApi& api, const std::string& name = "usb:1-1");
// Expects the three closes of a disconnect, in order.
void ExpectDisconnect(MockAdbApi& api);
// Expects one read that hands out `reply`.
void ExpectReply(MockAdbApi& api, const std::string& reply);
// Expects any number of writes, each accepted whole; the bytes are appended to `sent`.
void AcceptWrites(MockAdbApi& api, std::string* sent);

// A read or write that moves nothing and fails with `error`; one that times out also moves
// `clock` on by its time-out, as a real wait would.
inline auto FailTransfer(MockAdbApi& api, unsigned long error,
                         platform::VirtualClock* clock = nullptr) {
    return [&api, error, clock](ADBAPIHANDLE, auto*, unsigned long, unsigned long* moved,
                                unsigned long timeout) {
        *moved = 0;
        if (clock != nullptr && error == kErrorSemTimeout)
            clock->Advance(platform::Milliseconds(timeout));
        api.SetLastError(error);
        return false;
    };
}

}  // namespace brenlo::testing
