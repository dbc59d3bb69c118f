// The device under a connection: opening and recognising the interface, and the bulk transfers
// with their attempts, time-outs and pauses.
#include <algorithm>
#include <cstdint>
#include <new>

#include "fastboot/protocol.h"
#include "fastboot/transport/adb_errors.h"

namespace brenlo {
namespace {

constexpr std::uint16_t kAcceptedVendors[] = {0x18D1, 0x0451, 0x22B8, 0x19D2, 0x0BB4};
constexpr std::uint8_t kFastbootClass = 0xFF;
constexpr std::uint8_t kFastbootSubclass = 0x42;
constexpr std::uint8_t kFastbootProtocol = 0x03;
constexpr std::uint8_t kFastbootEndpoints = 2;

// Attempts 1, 3 and 5 wait for the device; 2, 4 and 6 take only what is there at once.
unsigned long AttemptTimeout(int attempt, unsigned long timeout_ms) {
    return attempt % 2 == 1 ? timeout_ms : 0;
}

// The write time-out grows with the whole length of the call, up to the time a silent device is
// given at all.
unsigned long WriteTimeout(int length) {
    const std::uint64_t timeout =
        kWriteTimeoutBaseMs + std::uint64_t{kWriteTimeoutPerByteMs} * static_cast<unsigned>(length);
    return static_cast<unsigned long>(
        std::min<std::uint64_t>(timeout, static_cast<std::uint64_t>(kSilentDeviceGiveUp.count())));
}

// Frees what device_open allocated so far and hands back the reason of the failure.
std::nullptr_t FailOpen(fb_connection* connection) {
    AdbApi* api = connection->api;
    const unsigned long error = api->GetLastError();
    device_disconnect(connection);  // closing may set the last error again
    delete connection;
    api->SetLastError(error);
    return nullptr;
}

// A transfer on a connection without its endpoint: the device is gone.
int FailDisconnected(fb_connection* connection) {
    if (connection != nullptr)
        connection->last_error = kErrorInvalidHandle;
    return -1;
}

bool FetchInterfaceName(fb_connection* connection) {
    AdbApi& api = *connection->api;
    unsigned long length = 0;
    api.AdbGetInterfaceName(connection->interface_handle, nullptr, &length, true);
    if (length == 0)
        return false;
    connection->interface_name = new (std::nothrow) char[length];
    if (connection->interface_name == nullptr) {
        api.SetLastError(kErrorOutOfMemory);
        return false;
    }
    return api.AdbGetInterfaceName(connection->interface_handle, connection->interface_name,
                                   &length, true);
}

}  // namespace

fb_connection* device_open(const wchar_t* interface_name, AdbApi& api, platform::Clock& clock) {
    auto* connection = new (std::nothrow) fb_connection{};
    if (connection == nullptr) {
        api.SetLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
    connection->api = &api;
    connection->clock = &clock;
    connection->interface_handle = api.AdbCreateInterfaceByName(interface_name);
    if (connection->interface_handle == nullptr) {
        delete connection;
        return nullptr;
    }
    connection->read_endpoint = api.AdbOpenDefaultBulkReadEndpoint(
        connection->interface_handle, AdbOpenAccessTypeRead, AdbOpenSharingModeRead);
    if (connection->read_endpoint == nullptr)
        return FailOpen(connection);
    connection->write_endpoint = api.AdbOpenDefaultBulkWriteEndpoint(
        connection->interface_handle, AdbOpenAccessTypeWrite, AdbOpenSharingModeWrite);
    if (connection->write_endpoint == nullptr || !FetchInterfaceName(connection))
        return FailOpen(connection);
    return connection;
}

bool device_matches(fb_connection* connection) {
    USB_DEVICE_DESCRIPTOR device{};
    USB_INTERFACE_DESCRIPTOR interface {};
    AdbApi& api = *connection->api;
    if (!api.AdbGetUsbDeviceDescriptor(connection->interface_handle, &device) ||
        !api.AdbGetUsbInterfaceDescriptor(connection->interface_handle, &interface))
        return false;
    if (interface.bNumEndpoints != kFastbootEndpoints)
        return false;
    if (std::find(std::begin(kAcceptedVendors), std::end(kAcceptedVendors), device.idVendor) ==
        std::end(kAcceptedVendors))
        return false;
    return interface.bInterfaceClass == kFastbootClass &&
           interface.bInterfaceSubClass == kFastbootSubclass &&
           interface.bInterfaceProtocol == kFastbootProtocol;
}

int device_write(fb_connection* connection, const void* data, int length) {
    if (connection == nullptr || connection->write_endpoint == nullptr)
        return FailDisconnected(connection);
    if (length <= 0)
        return -1;
    AdbApi& api = *connection->api;
    platform::Clock& clock = *connection->clock;
    const unsigned long timeout = WriteTimeout(length);
    const auto* next = static_cast<const unsigned char*>(data);
    long long remaining = length;
    int total = 0;
    platform::Milliseconds last_progress = clock.Now();
    for (;;) {
        const unsigned long chunk = static_cast<unsigned long>(
            std::min<long long>(remaining, static_cast<long long>(kWriteChunk)));
        unsigned long written = 0;
        bool done = false;
        for (int attempt = 1; attempt <= kTransferAttempts && !done; ++attempt) {
            const platform::Milliseconds silent = clock.Now() - last_progress;
            if (silent >= kSilentDeviceGiveUp)
                break;  // the last attempt's error stands
            const auto left = static_cast<unsigned long>((kSilentDeviceGiveUp - silent).count());
            done = api.AdbWriteEndpointSync(connection->write_endpoint, next, chunk, &written,
                                            std::min(AttemptTimeout(attempt, timeout), left));
            // A "success" that moved nothing would repeat for ever; it counts as a failure.
            if (done && written == 0) {
                api.SetLastError(kErrorGenFailure);
                done = false;
            }
            if (!done)
                clock.Sleep(kRetryPause);
        }
        if (!done) {
            connection->last_error = api.GetLastError();
            if (connection->last_error == kErrorInvalidHandle)
                device_disconnect(connection);
            return -1;
        }
        last_progress = clock.Now();
        total += static_cast<int>(written);
        next += written;
        remaining -= static_cast<long long>(written);
        if (remaining == 0)
            return total;
        if (remaining < 0)
            return -1;
    }
}

int device_read(fb_connection* connection, unsigned char* buffer) {
    if (connection == nullptr || connection->read_endpoint == nullptr)
        return FailDisconnected(connection);
    AdbApi& api = *connection->api;
    platform::Clock& clock = *connection->clock;
    const platform::Milliseconds started = clock.Now();
    for (;;) {
        for (int attempt = 1; attempt <= kTransferAttempts; ++attempt) {
            unsigned long got = 0;
            if (api.AdbReadEndpointSync(connection->read_endpoint, buffer, kMaxReplyLength, &got,
                                        AttemptTimeout(attempt, kReadTimeoutMs)))
                return static_cast<int>(std::min<unsigned long>(got, kMaxReplyLength));
            clock.Sleep(kRetryPause);
        }
        connection->last_error = api.GetLastError();
        if (connection->last_error == kErrorSemTimeout) {
            if (clock.Now() - started < kSilentDeviceGiveUp)
                continue;  // still connected, only silent: another series
            return -1;
        }
        if (connection->last_error == kErrorInvalidHandle)
            device_disconnect(connection);
        return -1;
    }
}

void device_disconnect(fb_connection* connection) {
    AdbApi& api = *connection->api;
    delete[] connection->interface_name;
    connection->interface_name = nullptr;
    for (ADBAPIHANDLE* handle :
         {&connection->write_endpoint, &connection->read_endpoint, &connection->interface_handle}) {
        if (*handle != nullptr)
            api.AdbCloseHandle(*handle);
        *handle = nullptr;
    }
}

void device_release(fb_connection* connection) {
    if (connection == nullptr)
        return;
    for (fb_action* action = connection->queue_head; action != nullptr;) {
        fb_action* next = action->next;
        delete[] action->data;
        delete[] action->message;
        delete action;
        action = next;
    }
    connection->queue_head = nullptr;
    connection->queue_tail = nullptr;
    connection->current_action = nullptr;
    device_disconnect(connection);
    delete connection;
}

}  // namespace brenlo
