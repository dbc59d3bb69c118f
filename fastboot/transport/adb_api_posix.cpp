// SystemAdbApi on POSIX: handles are objects of this file around an AdbLink backend.
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "fastboot/transport/adb_api.h"
#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"

namespace brenlo {
namespace {

// An interface handle owns its link; an endpoint handle refers to its interface, which the
// caller closes after its endpoints.
struct Handle {
    enum class Kind { kInterface, kEndpoint } kind;
    std::unique_ptr<AdbLink> link;  // interface only
    Handle* owner;                  // endpoint only
};

// Narrow form of a wide name; false when a character has no 8-bit form.
bool NarrowName(const wchar_t* wide, std::string* narrow) {
    std::mbstate_t state{};
    const wchar_t* source = wide;
    const std::size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        return false;
    narrow->resize(length);
    source = wide;
    state = {};
    std::wcsrtombs(narrow->data(), &source, length, &state);
    return true;
}

AdbLink* InterfaceLink(ADBAPIHANDLE adb_interface) {
    auto* handle = static_cast<Handle*>(adb_interface);
    if (handle == nullptr || handle->kind != Handle::Kind::kInterface)
        return nullptr;
    return handle->link.get();
}

AdbLink* EndpointLink(ADBAPIHANDLE adb_endpoint) {
    auto* handle = static_cast<Handle*>(adb_endpoint);
    if (handle == nullptr || handle->kind != Handle::Kind::kEndpoint)
        return nullptr;
    return handle->owner->link.get();
}

std::unique_ptr<AdbLink> OpenLink(std::string_view name, unsigned long* error) {
    if (name.starts_with("usb:"))
        return OpenUsbLink(name.substr(4), error);
    if (name.starts_with("tcp:"))
        return OpenTcpLink(name.substr(4), error);
    *error = kErrorInvalidName;
    return nullptr;
}

// The outcome of a transfer as the API reports it.
bool Finish(LinkTransfer transfer, unsigned long* count, unsigned long* last_error) {
    *count = static_cast<unsigned long>(transfer.count);
    if (transfer.error == kErrorSuccess)
        return true;
    *last_error = transfer.error;
    return false;
}

}  // namespace

ADBAPIHANDLE SystemAdbApi::AdbCreateInterfaceByName(const wchar_t* interface_name) {
    std::string name;
    if (interface_name == nullptr || !NarrowName(interface_name, &name))
        return Fail(kErrorInvalidName);
    unsigned long error = kErrorSuccess;
    std::unique_ptr<AdbLink> link = OpenLink(name, &error);
    if (link == nullptr)
        return Fail(error);
    auto* handle = new (std::nothrow) Handle{Handle::Kind::kInterface, std::move(link), nullptr};
    if (handle == nullptr)
        return Fail(kErrorNotEnoughMemory);
    return handle;
}

ADBAPIHANDLE SystemAdbApi::AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE adb_interface,
                                                          AdbOpenAccessType access_type,
                                                          AdbOpenSharingMode sharing_mode) {
    return OpenEndpoint(adb_interface, access_type, sharing_mode, true);
}

ADBAPIHANDLE SystemAdbApi::AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE adb_interface,
                                                           AdbOpenAccessType access_type,
                                                           AdbOpenSharingMode sharing_mode) {
    return OpenEndpoint(adb_interface, access_type, sharing_mode, false);
}

bool SystemAdbApi::AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer,
                                       unsigned long* buffer_char_size, bool ansi) {
    AdbLink* link = InterfaceLink(adb_interface);
    if (link == nullptr)
        return Refuse(kErrorInvalidHandle);
    if (buffer_char_size == nullptr || !ansi)
        return Refuse(kErrorInvalidParameter);
    const std::string& name = link->name();
    const unsigned long needed = static_cast<unsigned long>(name.size() + 1);
    const bool fits = buffer != nullptr && *buffer_char_size >= needed;
    *buffer_char_size = needed;
    if (!fits)
        return Refuse(kErrorInsufficientBuffer);
    std::memcpy(buffer, name.c_str(), needed);
    return true;
}

bool SystemAdbApi::AdbGetUsbDeviceDescriptor(ADBAPIHANDLE adb_interface,
                                             USB_DEVICE_DESCRIPTOR* descriptor) {
    AdbLink* link = InterfaceLink(adb_interface);
    if (link == nullptr)
        return Refuse(kErrorInvalidHandle);
    if (descriptor == nullptr)
        return Refuse(kErrorInvalidParameter);
    *descriptor = link->device_descriptor();
    return true;
}

bool SystemAdbApi::AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface,
                                                USB_INTERFACE_DESCRIPTOR* descriptor) {
    AdbLink* link = InterfaceLink(adb_interface);
    if (link == nullptr)
        return Refuse(kErrorInvalidHandle);
    if (descriptor == nullptr)
        return Refuse(kErrorInvalidParameter);
    *descriptor = link->interface_descriptor();
    return true;
}

bool SystemAdbApi::AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, const void* buffer,
                                        unsigned long bytes_to_write, unsigned long* bytes_written,
                                        unsigned long time_out) {
    AdbLink* link = EndpointLink(adb_endpoint);
    if (link == nullptr)
        return Refuse(kErrorInvalidHandle);
    if (bytes_written == nullptr || (buffer == nullptr && bytes_to_write != 0))
        return Refuse(kErrorInvalidParameter);
    return Finish(link->Write(static_cast<const unsigned char*>(buffer), bytes_to_write, time_out),
                  bytes_written, &last_error_);
}

bool SystemAdbApi::AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                       unsigned long bytes_to_read, unsigned long* bytes_read,
                                       unsigned long time_out) {
    AdbLink* link = EndpointLink(adb_endpoint);
    if (link == nullptr)
        return Refuse(kErrorInvalidHandle);
    if (bytes_read == nullptr || buffer == nullptr)
        return Refuse(kErrorInvalidParameter);
    return Finish(link->Read(static_cast<unsigned char*>(buffer), bytes_to_read, time_out),
                  bytes_read, &last_error_);
}

bool SystemAdbApi::AdbCloseHandle(ADBAPIHANDLE adb_handle) {
    if (adb_handle == nullptr)
        return Refuse(kErrorInvalidHandle);
    delete static_cast<Handle*>(adb_handle);
    return true;
}

ADBAPIHANDLE SystemAdbApi::Fail(unsigned long error) {
    last_error_ = error;
    return nullptr;
}

bool SystemAdbApi::Refuse(unsigned long error) {
    last_error_ = error;
    return false;
}

// A link has one pair of endpoints, shared by every opener and direction.
ADBAPIHANDLE SystemAdbApi::OpenEndpoint(ADBAPIHANDLE adb_interface, AdbOpenAccessType,
                                        AdbOpenSharingMode, bool) {
    if (InterfaceLink(adb_interface) == nullptr)
        return Fail(kErrorInvalidHandle);
    auto* endpoint = new (std::nothrow)
        Handle{Handle::Kind::kEndpoint, nullptr, static_cast<Handle*>(adb_interface)};
    if (endpoint == nullptr)
        return Fail(kErrorNotEnoughMemory);
    return endpoint;
}

}  // namespace brenlo
