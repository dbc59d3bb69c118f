// USB links through libusb-1.0. A name such as "usb:1-4.3" is the bus number and the chain of
// hub ports, the path the kernel and the fastboot client give the device; of that device the
// interface with class 0xFF, subclass 0x42, protocol 0x03 is claimed with its two bulk endpoints.
// Each link has a libusb context of its own, so links share nothing.
#include <libusb.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <new>
#include <vector>

#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"

namespace brenlo {
namespace {

// The deepest chain of hubs USB allows.
constexpr int kMaxPortDepth = 7;
constexpr std::uint8_t kFastbootClass = 0xFF;
constexpr std::uint8_t kFastbootSubclass = 0x42;
constexpr std::uint8_t kFastbootProtocol = 0x03;
// libusb takes a time-out of 0 as "no limit"; its shortest limit stands for "do not wait".
constexpr unsigned int kNoWaitTimeoutMs = 1;
// A reply is read whole, up to this size rounded up to whole packets, so that a device whose
// reply is longer than the caller asks for does not overflow the transfer.
constexpr std::size_t kReplyReadSize = 256;
constexpr std::size_t kLargestPacket = 1024;  // SuperSpeed bulk

struct UsbPath {
    int bus = 0;
    std::vector<std::uint8_t> ports;
};

bool ParseNumber(std::string_view text, int low, int high, int* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           *value >= low && *value <= high;
}

bool ParseUsbPath(std::string_view text, UsbPath* path) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || !ParseNumber(text.substr(0, dash), 1, 255, &path->bus))
        return false;
    std::string_view ports = text.substr(dash + 1);
    for (;;) {
        const std::size_t dot = ports.find('.');
        int port = 0;
        if (!ParseNumber(ports.substr(0, dot), 1, 255, &port) ||
            path->ports.size() == kMaxPortDepth)
            return false;
        path->ports.push_back(static_cast<std::uint8_t>(port));
        if (dot == std::string_view::npos)
            return true;
        ports.remove_prefix(dot + 1);
    }
}

unsigned long ErrorFromLibusb(int result) {
    switch (result) {
        case LIBUSB_ERROR_TIMEOUT:
            return kErrorSemTimeout;
        case LIBUSB_ERROR_NO_DEVICE:
            return kErrorInvalidHandle;
        case LIBUSB_ERROR_ACCESS:
            return kErrorAccessDenied;
        case LIBUSB_ERROR_BUSY:
            return kErrorBusy;
        case LIBUSB_ERROR_NOT_FOUND:
            return kErrorFileNotFound;
        case LIBUSB_ERROR_NO_MEM:
            return kErrorNotEnoughMemory;
        case LIBUSB_ERROR_INVALID_PARAM:
            return kErrorInvalidParameter;
        default:
            return kErrorGenFailure;
    }
}

// The fastboot interface of a device with its bulk endpoints.
struct FastbootInterface {
    USB_INTERFACE_DESCRIPTOR descriptor{};
    unsigned char in_endpoint = 0;
    unsigned char out_endpoint = 0;
    std::size_t in_packet_size = 0;
};

bool FindFastbootInterface(const libusb_config_descriptor& config, FastbootInterface* found) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& interface = config.interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            if (setting.bInterfaceClass != kFastbootClass ||
                setting.bInterfaceSubClass != kFastbootSubclass ||
                setting.bInterfaceProtocol != kFastbootProtocol)
                continue;
            FastbootInterface candidate;
            candidate.descriptor = {setting.bLength,
                                    setting.bDescriptorType,
                                    setting.bInterfaceNumber,
                                    setting.bAlternateSetting,
                                    setting.bNumEndpoints,
                                    setting.bInterfaceClass,
                                    setting.bInterfaceSubClass,
                                    setting.bInterfaceProtocol,
                                    setting.iInterface};
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) !=
                    LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                    candidate.in_endpoint = endpoint.bEndpointAddress;
                    candidate.in_packet_size = endpoint.wMaxPacketSize & 0x7FF;
                } else {
                    candidate.out_endpoint = endpoint.bEndpointAddress;
                }
            }
            if (candidate.in_endpoint != 0 && candidate.out_endpoint != 0) {
                *found = candidate;
                return true;
            }
        }
    }
    return false;
}

bool SamePath(libusb_device* device, const UsbPath& path) {
    std::uint8_t ports[kMaxPortDepth];
    const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
    return libusb_get_bus_number(device) == path.bus && depth > 0 &&
           std::equal(ports, ports + depth, path.ports.begin(), path.ports.end());
}

class UsbLink final : public AdbLink {
  public:
    UsbLink(libusb_context* context, libusb_device_handle* handle, std::string name,
            const USB_DEVICE_DESCRIPTOR& device, const FastbootInterface& interface)
        : context_(context),
          handle_(handle),
          name_(std::move(name)),
          device_(device),
          interface_(interface),
          reply_size_(std::min(RoundUpToPackets(kReplyReadSize, interface.in_packet_size),
                               sizeof reply_)) {}

    ~UsbLink() override {
        libusb_release_interface(handle_, interface_.descriptor.bInterfaceNumber);
        libusb_close(handle_);
        libusb_exit(context_);
    }

    const std::string& name() const override { return name_; }
    const USB_DEVICE_DESCRIPTOR& device_descriptor() const override { return device_; }
    const USB_INTERFACE_DESCRIPTOR& interface_descriptor() const override {
        return interface_.descriptor;
    }

    LinkTransfer Write(const unsigned char* data, std::size_t size,
                       unsigned long timeout_ms) override {
        return Transfer(interface_.out_endpoint, const_cast<unsigned char*>(data), size,
                        timeout_ms);
    }

    LinkTransfer Read(unsigned char* buffer, std::size_t size, unsigned long timeout_ms) override {
        const LinkTransfer transfer =
            Transfer(interface_.in_endpoint, reply_, reply_size_, timeout_ms);
        const std::size_t count = std::min(size, transfer.count);
        std::copy_n(reply_, count, buffer);
        return {transfer.error, count};
    }

  private:
    static std::size_t RoundUpToPackets(std::size_t size, std::size_t packet) {
        return packet == 0 ? size : (size + packet - 1) / packet * packet;
    }

    LinkTransfer Transfer(unsigned char endpoint, unsigned char* data, std::size_t size,
                          unsigned long timeout_ms) {
        int moved = 0;
        const unsigned int timeout =
            timeout_ms == 0 ? kNoWaitTimeoutMs : static_cast<unsigned int>(timeout_ms);
        const int result =
            libusb_bulk_transfer(handle_, endpoint, data, static_cast<int>(size), &moved, timeout);
        // A time-out may come after part of the transfer moved; that part counts.
        if (result == 0 || (result == LIBUSB_ERROR_TIMEOUT && moved > 0))
            return {kErrorSuccess, static_cast<std::size_t>(moved)};
        if (result == LIBUSB_ERROR_PIPE)
            libusb_clear_halt(handle_, endpoint);  // so that the next attempt can go through
        return {ErrorFromLibusb(result), 0};
    }

    libusb_context* context_;
    libusb_device_handle* handle_;
    std::string name_;
    USB_DEVICE_DESCRIPTOR device_;
    FastbootInterface interface_;
    unsigned char reply_[kLargestPacket];
    std::size_t reply_size_;
};

// Opens and claims the fastboot interface of `device`; null with `*error` set on failure.
libusb_device_handle* OpenInterface(libusb_device* device, const FastbootInterface& interface,
                                    unsigned long* error) {
    libusb_device_handle* handle = nullptr;
    int result = libusb_open(device, &handle);
    if (result == 0) {
        result = libusb_claim_interface(handle, interface.descriptor.bInterfaceNumber);
        if (result == 0 && interface.descriptor.bAlternateSetting != 0) {
            result = libusb_set_interface_alt_setting(handle, interface.descriptor.bInterfaceNumber,
                                                      interface.descriptor.bAlternateSetting);
            if (result != 0)
                libusb_release_interface(handle, interface.descriptor.bInterfaceNumber);
        }
        if (result != 0) {
            libusb_close(handle);
            handle = nullptr;
        }
    }
    if (result != 0)
        *error = result == LIBUSB_ERROR_NO_DEVICE ? kErrorFileNotFound : ErrorFromLibusb(result);
    return handle;
}

std::unique_ptr<AdbLink> OpenOnContext(libusb_context* context, const UsbPath& path,
                                       std::string name, unsigned long* error) {
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(context, &devices);
    libusb_device* device = nullptr;
    for (ssize_t i = 0; i < count && device == nullptr; ++i) {
        if (SamePath(devices[i], path))
            device = libusb_ref_device(devices[i]);
    }
    if (count >= 0)
        libusb_free_device_list(devices, 1);
    *error = kErrorFileNotFound;
    if (device == nullptr)
        return nullptr;

    std::unique_ptr<AdbLink> link;
    libusb_device_descriptor device_descriptor{};
    libusb_config_descriptor* config = nullptr;
    FastbootInterface interface;
    if (libusb_get_device_descriptor(device, &device_descriptor) == 0 &&
        libusb_get_active_config_descriptor(device, &config) == 0 &&
        FindFastbootInterface(*config, &interface)) {
        if (libusb_device_handle* handle = OpenInterface(device, interface, error)) {
            const USB_DEVICE_DESCRIPTOR descriptor = {
                device_descriptor.bLength,         device_descriptor.bDescriptorType,
                device_descriptor.bcdUSB,          device_descriptor.bDeviceClass,
                device_descriptor.bDeviceSubClass, device_descriptor.bDeviceProtocol,
                device_descriptor.bMaxPacketSize0, device_descriptor.idVendor,
                device_descriptor.idProduct,       device_descriptor.bcdDevice,
                device_descriptor.iManufacturer,   device_descriptor.iProduct,
                device_descriptor.iSerialNumber,   device_descriptor.bNumConfigurations};
            link.reset(new (std::nothrow)
                           UsbLink(context, handle, std::move(name), descriptor, interface));
            if (link == nullptr) {
                *error = kErrorNotEnoughMemory;
                libusb_release_interface(handle, interface.descriptor.bInterfaceNumber);
                libusb_close(handle);
            }
        }
    }
    if (config != nullptr)
        libusb_free_config_descriptor(config);
    libusb_unref_device(device);
    return link;
}

}  // namespace

std::unique_ptr<AdbLink> OpenUsbLink(std::string_view address, unsigned long* error) {
    UsbPath path;
    if (!ParseUsbPath(address, &path)) {
        *error = kErrorInvalidName;
        return nullptr;
    }
    std::string name = "usb:" + std::string(address);
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        *error = kErrorFileNotFound;  // no USB on this machine, so no such device either
        return nullptr;
    }
    std::unique_ptr<AdbLink> link = OpenOnContext(context, path, std::move(name), error);
    if (link == nullptr)
        libusb_exit(context);
    return link;
}

}  // namespace brenlo
