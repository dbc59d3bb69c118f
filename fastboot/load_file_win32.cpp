// Reading an image whole into memory, on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "fastboot/protocol.h"

namespace brenlo {
namespace {

// ReadFile moves at most this much in one call.
constexpr DWORD kReadPiece = 64 * 1024 * 1024;

class HandleCloser {
  public:
    explicit HandleCloser(HANDLE handle) : handle_(handle) {}
    ~HandleCloser() { CloseHandle(handle_); }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

  private:
    HANDLE handle_;
};

bool ReadImage(HANDLE file, unsigned char* buffer, std::size_t size) {
    while (size > 0) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kReadPiece));
        if (!ReadFile(file, buffer, wanted, &got, nullptr) || got == 0)
            return false;
        buffer += got;
        size -= got;
    }
    return true;
}

}  // namespace

unsigned char* load_file(fb_connection* connection, const char* path, std::uint32_t* size) {
    // Only files on a disk are images: a folder, a device or a pipe is refused.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD failure = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        failure = ERROR_ACCESS_DENIED;
    }
    if (file == INVALID_HANDLE_VALUE) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file open failed (rc=%ld)\n",
                  static_cast<long>(failure));
        return nullptr;
    }
    const HandleCloser closer(file);
    LARGE_INTEGER length{};
    GetFileSizeEx(file, &length);
    if (length.QuadPart <= 0) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file empty or negative size %ld\n",
                  static_cast<long>(length.QuadPart));
        *size = 0;
        return nullptr;
    }
    if (length.QuadPart > BRENLO_MAX_IMAGE_SIZE) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file too large (%lld bytes)\n",
                  static_cast<long long>(length.QuadPart));
        *size = 0;
        return nullptr;
    }
    const auto bytes = static_cast<std::size_t>(length.QuadPart);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes]);
    if (buffer == nullptr) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: could not allocate %ld bytes\n",
                  static_cast<long>(bytes));
        *size = 0;
        return nullptr;
    }
    if (!ReadImage(file, buffer.get(), bytes)) {
        fb_report(connection, BRENLO_LEVEL_FAILURE,
                  "load_file: could not read %ld bytes from '%s'\n", static_cast<long>(bytes),
                  path);
        *size = 0;
        return nullptr;
    }
    *size = static_cast<std::uint32_t>(bytes);
    return buffer.release();
}

}  // namespace brenlo
