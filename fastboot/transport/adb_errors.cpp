#include "fastboot/transport/adb_errors.h"

#include <cerrno>

namespace brenlo {

const char* AdbErrorText(unsigned long error) {
    switch (error) {
        case kErrorSuccess:
            return "The operation completed successfully.";
        case kErrorFileNotFound:
            return "The system cannot find the file or device.";
        case kErrorPathNotFound:
            return "The system cannot find the path.";
        case kErrorAccessDenied:
            return "Access is denied.";
        case kErrorInvalidHandle:
            return "The handle is invalid.";
        case kErrorNotEnoughMemory:
            return "Not enough memory resources are available to process this command.";
        case kErrorOutOfMemory:
            return "Not enough memory resources are available to complete this operation.";
        case kErrorGenFailure:
            return "A device attached to the system is not functioning.";
        case kErrorInvalidParameter:
            return "The parameter is incorrect.";
        case kErrorSemTimeout:
            return "The semaphore timeout period has expired.";
        case kErrorInsufficientBuffer:
            return "The data area passed to a system call is too small.";
        case kErrorInvalidName:
            return "The filename, directory name, or volume label syntax is incorrect.";
        case kErrorBusy:
            return "The requested resource is in use.";
        case kErrorDeviceNotConnected:
            return "The device is not connected.";
        case kErrorNoSystemResources:
            return "Insufficient system resources exist to complete the requested service.";
        default:
            return "Unknown error.";
    }
}

unsigned long AdbErrorFromErrno(int posix_error) {
    switch (posix_error) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kErrorAccessDenied;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EINVAL:
            return kErrorInvalidParameter;
        case ETIMEDOUT:
        case EAGAIN:
            return kErrorSemTimeout;
        case EBUSY:
            return kErrorBusy;
        case ENAMETOOLONG:
            return kErrorInvalidName;
        case EPIPE:
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case EBADF:
            return kErrorInvalidHandle;
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return kErrorDeviceNotConnected;
        default:
            return kErrorGenFailure;
    }
}

}  // namespace brenlo
