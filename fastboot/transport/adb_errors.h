// The Windows error values the transport reports and the client steers by, with their texts.
#pragma once

namespace brenlo {

inline constexpr unsigned long kErrorSuccess = 0;
inline constexpr unsigned long kErrorFileNotFound = 2;  // no such device or file
inline constexpr unsigned long kErrorPathNotFound = 3;
inline constexpr unsigned long kErrorAccessDenied = 5;   // also: a folder opened as a file
inline constexpr unsigned long kErrorInvalidHandle = 6;  // the device is gone: disconnect
inline constexpr unsigned long kErrorNotEnoughMemory = 8;
inline constexpr unsigned long kErrorOutOfMemory = 14;
inline constexpr unsigned long kErrorGenFailure = 31;  // the device did not work (a stall, I/O)
inline constexpr unsigned long kErrorInvalidParameter = 87;
inline constexpr unsigned long kErrorSemTimeout = 121;  // a transfer timed out: try again
inline constexpr unsigned long kErrorInsufficientBuffer = 122;
inline constexpr unsigned long kErrorInvalidName = 123;
inline constexpr unsigned long kErrorBusy = 170;  // another program holds the interface
inline constexpr unsigned long kErrorDeviceNotConnected = 1167;
inline constexpr unsigned long kErrorNoSystemResources = 1450;  // a read too large at once

// What `error` means, much as Windows words it ("The handle is invalid."). The client keeps these
// values in its connection, and the C library's texts for errno numbers would describe different
// faults; every report of a transport error takes its text from here.
const char* AdbErrorText(unsigned long error);

// The Windows error value for a POSIX errno of a file or socket call.
unsigned long AdbErrorFromErrno(int posix_error);

}  // namespace brenlo
