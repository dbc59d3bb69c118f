// One opened fastboot interface below SystemAdbApi: a backend per kind of link, chosen by the
// interface name's prefix. Each backend lives in a file of its own (adb_link_usb.cpp,
// adb_link_tcp.cpp); on Windows the AdbWinApi.dll itself takes their place (adb_api_win32.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "fastboot/transport/adb_api.h"

namespace brenlo {

// The outcome of one transfer: `error` is kErrorSuccess when `count` bytes moved (at least one,
// or zero for a zero-length reply), else the Windows error value of the failure.
struct LinkTransfer {
    unsigned long error;
    std::size_t count;
};

// Not thread-safe: one thread uses a link at a time. Transfers follow AdbApi's contract for
// AdbWriteEndpointSync and AdbReadEndpointSync.
class AdbLink {
  public:
    virtual ~AdbLink() = default;

    virtual const std::string& name() const = 0;
    virtual const USB_DEVICE_DESCRIPTOR& device_descriptor() const = 0;
    virtual const USB_INTERFACE_DESCRIPTOR& interface_descriptor() const = 0;
    virtual LinkTransfer Write(const unsigned char* data, std::size_t size,
                               unsigned long timeout_ms) = 0;
    virtual LinkTransfer Read(unsigned char* buffer, std::size_t size,
                              unsigned long timeout_ms) = 0;
};

// "usb:1-4.3": the device on bus 1 behind hub port 4, port 3, with its fastboot interface
// (class 0xFF, subclass 0x42, protocol 0x03) claimed. Null with `*error` set when the name is
// malformed, no such device or interface exists, or it cannot be opened or claimed.
std::unique_ptr<AdbLink> OpenUsbLink(std::string_view address, unsigned long* error);

// "tcp:HOST" or "tcp:HOST:PORT" (an IPv6 address in brackets): connects and shakes hands. Null
// with `*error` set when the name is malformed, the device cannot be reached or answers the
// handshake wrongly.
std::unique_ptr<AdbLink> OpenTcpLink(std::string_view address, unsigned long* error);

}  // namespace brenlo
