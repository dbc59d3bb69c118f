// SystemAdbApi on Windows: USB interfaces through AdbWinApi.dll, loaded at run time, whose exports
// are the calls of AdbApi themselves; "tcp:" names through the TCP link of adb_link_tcp.cpp, so
// that a device on the fastboot TCP transport (the simulator among them) is reachable here too.
// Every handle given out is an object of this file that holds either the library's handle or a
// TCP link.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "fastboot/transport/adb_api.h"
#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"
#include "platform/dynamic_library.h"

namespace brenlo {
namespace {

constexpr char kLibraryName[] = "AdbWinApi.dll";

using OpenEndpointFunction = ADBAPIHANDLE (*)(ADBAPIHANDLE, AdbOpenAccessType, AdbOpenSharingMode);

// The library's exports, looked up by name once it is loaded.
struct AdbWinApi {
    ADBAPIHANDLE (*create_interface_by_name)(const wchar_t*);
    OpenEndpointFunction open_default_bulk_read_endpoint;
    OpenEndpointFunction open_default_bulk_write_endpoint;
    bool (*get_interface_name)(ADBAPIHANDLE, void*, unsigned long*, bool);
    bool (*get_usb_device_descriptor)(ADBAPIHANDLE, USB_DEVICE_DESCRIPTOR*);
    bool (*get_usb_interface_descriptor)(ADBAPIHANDLE, USB_INTERFACE_DESCRIPTOR*);
    bool (*write_endpoint_sync)(ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long);
    bool (*read_endpoint_sync)(ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long);
    bool (*close_handle)(ADBAPIHANDLE);
};

template <typename Function>
bool Resolve(const platform::DynamicLibrary& library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(library.Symbol(name));
    return *function != nullptr;
}

// The library, loaded on the first USB open and kept for the process's life; null when it does
// not load or lacks an export.
const AdbWinApi* Library() {
    static std::once_flag once;
    static platform::DynamicLibrary library;
    static AdbWinApi api{};
    static bool complete = false;
    std::call_once(once, [] {
        if (!library.Load(kLibraryName))
            return;
        complete =
            Resolve(library, "AdbCreateInterfaceByName", &api.create_interface_by_name) &&
            Resolve(library, "AdbOpenDefaultBulkReadEndpoint",
                    &api.open_default_bulk_read_endpoint) &&
            Resolve(library, "AdbOpenDefaultBulkWriteEndpoint",
                    &api.open_default_bulk_write_endpoint) &&
            Resolve(library, "AdbGetInterfaceName", &api.get_interface_name) &&
            Resolve(library, "AdbGetUsbDeviceDescriptor", &api.get_usb_device_descriptor) &&
            Resolve(library, "AdbGetUsbInterfaceDescriptor", &api.get_usb_interface_descriptor) &&
            Resolve(library, "AdbWriteEndpointSync", &api.write_endpoint_sync) &&
            Resolve(library, "AdbReadEndpointSync", &api.read_endpoint_sync) &&
            Resolve(library, "AdbCloseHandle", &api.close_handle);
    });
    return complete ? &api : nullptr;
}

// A handle of this API: an interface or endpoint of the library, or of a TCP link.
struct Handle {
    enum class Kind { kInterface, kEndpoint } kind;
    ADBAPIHANDLE usb;               // the library's handle; null for a TCP link
    std::unique_ptr<AdbLink> link;  // a TCP interface only
    Handle* owner;                  // a TCP endpoint only
};

Handle* AsHandle(ADBAPIHANDLE handle) {
    return static_cast<Handle*>(handle);
}

AdbLink* TcpLinkOf(Handle* handle) {
    return handle->kind == Handle::Kind::kInterface ? handle->link.get()
                                                    : handle->owner->link.get();
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// The narrow form of a TCP name, which is plain ASCII; false for any other character.
bool NarrowName(const wchar_t* wide, std::string* narrow) {
    for (; *wide != L'\0'; ++wide) {
        if (*wide > 0x7F)
            return false;
        *narrow += static_cast<char>(*wide);
    }
    return true;
}

// The result of a call of the library, its thread's last error kept as this API's.
bool Passed(bool result, unsigned long* last_error) {
    if (!result)
        *last_error = ::GetLastError();
    return result;
}

bool Finish(LinkTransfer transfer, unsigned long* count, unsigned long* last_error) {
    *count = static_cast<unsigned long>(transfer.count);
    if (transfer.error == kErrorSuccess)
        return true;
    *last_error = transfer.error;
    return false;
}

}  // namespace

ADBAPIHANDLE SystemAdbApi::AdbCreateInterfaceByName(const wchar_t* interface_name) {
    if (interface_name == nullptr)
        return Fail(kErrorInvalidName);
    std::unique_ptr<AdbLink> link;
    ADBAPIHANDLE usb = nullptr;
    if (StartsWith(interface_name, L"tcp:")) {
        std::string name;
        if (!NarrowName(interface_name + 4, &name))
            return Fail(kErrorInvalidName);
        unsigned long error = kErrorSuccess;
        link = OpenTcpLink(name, &error);
        if (link == nullptr)
            return Fail(error);
    } else {
        const AdbWinApi* api = Library();
        if (api == nullptr)
            return Fail(ERROR_MOD_NOT_FOUND);
        usb = api->create_interface_by_name(interface_name);
        if (usb == nullptr)
            return Fail(::GetLastError());
    }
    auto* handle =
        new (std::nothrow) Handle{Handle::Kind::kInterface, usb, std::move(link), nullptr};
    if (handle == nullptr) {
        if (usb != nullptr)
            Library()->close_handle(usb);
        return Fail(kErrorNotEnoughMemory);
    }
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

ADBAPIHANDLE SystemAdbApi::OpenEndpoint(ADBAPIHANDLE adb_interface, AdbOpenAccessType access_type,
                                        AdbOpenSharingMode sharing_mode, bool reading) {
    Handle* owner = AsHandle(adb_interface);
    if (owner == nullptr || owner->kind != Handle::Kind::kInterface)
        return Fail(kErrorInvalidHandle);
    ADBAPIHANDLE usb = nullptr;
    if (owner->usb != nullptr) {
        const AdbWinApi* api = Library();
        usb = reading
                  ? api->open_default_bulk_read_endpoint(owner->usb, access_type, sharing_mode)
                  : api->open_default_bulk_write_endpoint(owner->usb, access_type, sharing_mode);
        if (usb == nullptr)
            return Fail(::GetLastError());
    }
    auto* endpoint = new (std::nothrow) Handle{Handle::Kind::kEndpoint, usb, nullptr, owner};
    if (endpoint == nullptr) {
        if (usb != nullptr)
            Library()->close_handle(usb);
        return Fail(kErrorNotEnoughMemory);
    }
    return endpoint;
}

bool SystemAdbApi::AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer,
                                       unsigned long* buffer_char_size, bool ansi) {
    Handle* handle = AsHandle(adb_interface);
    if (handle == nullptr || handle->kind != Handle::Kind::kInterface)
        return Refuse(kErrorInvalidHandle);
    if (handle->usb != nullptr)
        return Passed(Library()->get_interface_name(handle->usb, buffer, buffer_char_size, ansi),
                      &last_error_);
    if (buffer_char_size == nullptr || !ansi)
        return Refuse(kErrorInvalidParameter);
    const std::string& name = handle->link->name();
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
    Handle* handle = AsHandle(adb_interface);
    if (handle == nullptr || handle->kind != Handle::Kind::kInterface)
        return Refuse(kErrorInvalidHandle);
    if (handle->usb != nullptr)
        return Passed(Library()->get_usb_device_descriptor(handle->usb, descriptor), &last_error_);
    if (descriptor == nullptr)
        return Refuse(kErrorInvalidParameter);
    *descriptor = handle->link->device_descriptor();
    return true;
}

bool SystemAdbApi::AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface,
                                                USB_INTERFACE_DESCRIPTOR* descriptor) {
    Handle* handle = AsHandle(adb_interface);
    if (handle == nullptr || handle->kind != Handle::Kind::kInterface)
        return Refuse(kErrorInvalidHandle);
    if (handle->usb != nullptr)
        return Passed(Library()->get_usb_interface_descriptor(handle->usb, descriptor),
                      &last_error_);
    if (descriptor == nullptr)
        return Refuse(kErrorInvalidParameter);
    *descriptor = handle->link->interface_descriptor();
    return true;
}

bool SystemAdbApi::AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, const void* buffer,
                                        unsigned long bytes_to_write, unsigned long* bytes_written,
                                        unsigned long time_out) {
    Handle* handle = AsHandle(adb_endpoint);
    if (handle == nullptr || handle->kind != Handle::Kind::kEndpoint)
        return Refuse(kErrorInvalidHandle);
    if (bytes_written == nullptr || (buffer == nullptr && bytes_to_write != 0))
        return Refuse(kErrorInvalidParameter);
    if (handle->usb != nullptr) {
        return Passed(Library()->write_endpoint_sync(handle->usb, const_cast<void*>(buffer),
                                                     bytes_to_write, bytes_written, time_out),
                      &last_error_);
    }
    return Finish(TcpLinkOf(handle)->Write(static_cast<const unsigned char*>(buffer),
                                           bytes_to_write, time_out),
                  bytes_written, &last_error_);
}

bool SystemAdbApi::AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                       unsigned long bytes_to_read, unsigned long* bytes_read,
                                       unsigned long time_out) {
    Handle* handle = AsHandle(adb_endpoint);
    if (handle == nullptr || handle->kind != Handle::Kind::kEndpoint)
        return Refuse(kErrorInvalidHandle);
    if (bytes_read == nullptr || buffer == nullptr)
        return Refuse(kErrorInvalidParameter);
    if (handle->usb != nullptr) {
        return Passed(
            Library()->read_endpoint_sync(handle->usb, buffer, bytes_to_read, bytes_read, time_out),
            &last_error_);
    }
    return Finish(
        TcpLinkOf(handle)->Read(static_cast<unsigned char*>(buffer), bytes_to_read, time_out),
        bytes_read, &last_error_);
}

bool SystemAdbApi::AdbCloseHandle(ADBAPIHANDLE adb_handle) {
    Handle* handle = AsHandle(adb_handle);
    if (handle == nullptr)
        return Refuse(kErrorInvalidHandle);
    const bool closed =
        handle->usb == nullptr || Passed(Library()->close_handle(handle->usb), &last_error_);
    delete handle;
    return closed;
}

ADBAPIHANDLE SystemAdbApi::Fail(unsigned long error) {
    last_error_ = error;
    return nullptr;
}

bool SystemAdbApi::Refuse(unsigned long error) {
    last_error_ = error;
    return false;
}

}  // namespace brenlo
