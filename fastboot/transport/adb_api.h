// The USB access calls Brenlo's protocol client makes, shaped after the Android USB access library
// of Windows (AdbWinApi.dll): open an interface by name, its default bulk endpoints, its name and
// descriptors, synchronous transfers with a time-out, close. Failures leave a Windows error value
// in the API's last error, and the client steers by those values (see adb_errors.h).
//
// The client only ever talks to an AdbApi it is given, so tests hand it a strict fake and the
// product hands it a SystemAdbApi.
#pragma once

#include <cstdint>

namespace brenlo {

using ADBAPIHANDLE = void*;

enum AdbOpenAccessType : int {
    AdbOpenAccessTypeReadWrite = 0,
    AdbOpenAccessTypeRead = 1,
    AdbOpenAccessTypeWrite = 2,
    AdbOpenAccessTypeQueryInfo = 3,
};

enum AdbOpenSharingMode : int {
    AdbOpenSharingModeReadWrite = 0,
    AdbOpenSharingModeRead = 1,
    AdbOpenSharingModeWrite = 2,
    AdbOpenSharingModeExclusive = 3,
};

// The standard USB descriptors, packed as on the wire.
#pragma pack(push, 1)
struct USB_DEVICE_DESCRIPTOR {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

struct USB_INTERFACE_DESCRIPTOR {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bInterfaceNumber;
    std::uint8_t bAlternateSetting;
    std::uint8_t bNumEndpoints;
    std::uint8_t bInterfaceClass;
    std::uint8_t bInterfaceSubClass;
    std::uint8_t bInterfaceProtocol;
    std::uint8_t iInterface;
};
#pragma pack(pop)

static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18);
static_assert(sizeof(USB_INTERFACE_DESCRIPTOR) == 9);

// Every call blocks the calling thread for at most its time-out (the opening call for at most a
// few seconds while it connects) and may be called from any thread, each thread on its own
// handles. A handle passed in must be one this API returned and has not closed; a null handle
// fails with kErrorInvalidHandle. Once the device has vanished, every transfer on its handles
// fails with kErrorInvalidHandle until they are closed.
class AdbApi {
  public:
    virtual ~AdbApi() = default;

    // Opens the interface called `interface_name`; null on failure.
    virtual ADBAPIHANDLE AdbCreateInterfaceByName(const wchar_t* interface_name) = 0;
    // The interface's default bulk endpoints (IN for reading, OUT for writing); null on failure.
    virtual ADBAPIHANDLE AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE adb_interface,
                                                        AdbOpenAccessType access_type,
                                                        AdbOpenSharingMode sharing_mode) = 0;
    virtual ADBAPIHANDLE AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE adb_interface,
                                                         AdbOpenAccessType access_type,
                                                         AdbOpenSharingMode sharing_mode) = 0;
    // The interface's name. `*buffer_char_size` holds the buffer's size in characters and
    // receives the size needed, terminating zero included; with a null or too small buffer the
    // call fails with kErrorInsufficientBuffer after setting the size. `ansi` asks for 8-bit text
    // (the only form this API offers).
    virtual bool AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer,
                                     unsigned long* buffer_char_size, bool ansi) = 0;
    virtual bool AdbGetUsbDeviceDescriptor(ADBAPIHANDLE adb_interface,
                                           USB_DEVICE_DESCRIPTOR* descriptor) = 0;
    virtual bool AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface,
                                              USB_INTERFACE_DESCRIPTOR* descriptor) = 0;
    // Moves bytes to or from the device and waits at most `time_out` ms; a time-out of 0 does
    // not wait for the device, it moves only what can move at once. True with the count moved
    // when any byte moved (a write or read may be short); false with kErrorSemTimeout when
    // nothing moved in time, kErrorInvalidHandle when the device is gone, another value for
    // other faults. A read returns one reply of the device: at most `bytes_to_read` bytes of it,
    // the rest of an over-long reply is dropped.
    virtual bool AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, const void* buffer,
                                      unsigned long bytes_to_write, unsigned long* bytes_written,
                                      unsigned long time_out) = 0;
    virtual bool AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                     unsigned long bytes_to_read, unsigned long* bytes_read,
                                     unsigned long time_out) = 0;
    // Closes an endpoint or an interface. Endpoints are closed before their interface.
    virtual bool AdbCloseHandle(ADBAPIHANDLE adb_handle) = 0;

    // The last error of this API's calls, as the Windows calls of the same name keep it per
    // thread.
    virtual unsigned long GetLastError() const = 0;
    virtual void SetLastError(unsigned long error) = 0;
};

// The real devices: on POSIX "usb:BUS-PORT[.PORT...]" through libusb, on Windows the interface
// names of AdbWinApi.dll through that library (loaded at run time); everywhere "tcp:HOST[:PORT]"
// on the fastboot TCP transport. Each caller makes its own and uses it on one thread at a time, so
// that its last error stands for that thread's; instances share nothing. Handles outlive the
// instance that opened them only until they are closed, through any instance.
class SystemAdbApi final : public AdbApi {
  public:
    ADBAPIHANDLE AdbCreateInterfaceByName(const wchar_t* interface_name) override;
    ADBAPIHANDLE AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE adb_interface,
                                                AdbOpenAccessType access_type,
                                                AdbOpenSharingMode sharing_mode) override;
    ADBAPIHANDLE AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE adb_interface,
                                                 AdbOpenAccessType access_type,
                                                 AdbOpenSharingMode sharing_mode) override;
    bool AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer,
                             unsigned long* buffer_char_size, bool ansi) override;
    bool AdbGetUsbDeviceDescriptor(ADBAPIHANDLE adb_interface,
                                   USB_DEVICE_DESCRIPTOR* descriptor) override;
    bool AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface,
                                      USB_INTERFACE_DESCRIPTOR* descriptor) override;
    bool AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, const void* buffer,
                              unsigned long bytes_to_write, unsigned long* bytes_written,
                              unsigned long time_out) override;
    bool AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_read,
                             unsigned long* bytes_read, unsigned long time_out) override;
    bool AdbCloseHandle(ADBAPIHANDLE adb_handle) override;

    unsigned long GetLastError() const override { return last_error_; }
    void SetLastError(unsigned long error) override { last_error_ = error; }

  private:
    ADBAPIHANDLE OpenEndpoint(ADBAPIHANDLE adb_interface, AdbOpenAccessType access_type,
                              AdbOpenSharingMode sharing_mode, bool reading);
    ADBAPIHANDLE Fail(unsigned long error);
    bool Refuse(unsigned long error);

    unsigned long last_error_ = 0;  // kErrorSuccess
};

}  // namespace brenlo
