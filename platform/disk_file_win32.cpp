// Disks (\\.\PhysicalDriveN) and disk images through Windows file handles.
#include <windows.h>

#include <winioctl.h>

#include <algorithm>

#include "platform/disk_file.h"
#include "platform/native_handle_win32.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr std::string_view kDiskPrefix = "\\\\.\\PhysicalDrive";

bool NamesDisk(const std::string& path) {
    if (path.size() <= kDiskPrefix.size())
        return false;
    std::string prefix = path.substr(0, kDiskPrefix.size());
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return prefix == "\\\\.\\physicaldrive";
}

// A disk's number and an image's volume and file index: what the path named when opened.
bool Identity(HANDLE file, DiskFile::Kind kind, std::uint64_t* device, std::uint64_t* number) {
    if (kind == DiskFile::Kind::kBlockDevice) {
        STORAGE_DEVICE_NUMBER disk{};
        DWORD returned = 0;
        if (!DeviceIoControl(file, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &disk, sizeof disk,
                             &returned, nullptr))
            return false;
        *device = disk.DeviceNumber;
        *number = 0;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return false;
    *device = info.dwVolumeSerialNumber;
    *number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

HANDLE OpenForIdentity(const std::string& path) {
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

DiskFile::~DiskFile() {
    Close();
}

DiskFile::Kind DiskFile::KindOf(const std::string& path) {
    if (NamesDisk(path))
        return Kind::kBlockDevice;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        path.starts_with("\\\\.\\"))
        return Kind::kOther;
    return Kind::kImageFile;
}

bool DiskFile::Fail(const std::string& what) {
    error_ = LastErrorText(what + " " + path_);
    return false;
}

bool DiskFile::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    kind_ = KindOf(path);
    if (kind_ == Kind::kOther) {
        error_ = path + " is neither a disk nor a disk image file";
        return false;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail(GetLastError() == ERROR_SHARING_VIOLATION ? "something of the system uses"
                                                              : "cannot open");
    }
    handle_ = FromWinHandle(file);
    bool sized = false;
    if (kind_ == Kind::kBlockDevice) {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        sized = DeviceIoControl(file, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                sizeof length, &returned, nullptr);
        size_ = static_cast<std::uint64_t>(length.Length.QuadPart);
    } else {
        LARGE_INTEGER length{};
        sized = GetFileSizeEx(file, &length);
        size_ = static_cast<std::uint64_t>(length.QuadPart);
    }
    if (!sized || !Identity(file, kind_, &device_, &file_number_)) {
        Fail("cannot find the size of");
        Close();
        return false;
    }
    return true;
}

void DiskFile::Close() {
    if (handle_ != kNoNativeHandle)
        CloseHandle(WinHandle(handle_));
    handle_ = kNoNativeHandle;
}

bool DiskFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
        DWORD count = 0;
        if (!ReadFile(WinHandle(handle_), into.data() + done, piece, &count, &position))
            return Fail("cannot read");
        if (count == 0) {
            SetLastError(ERROR_HANDLE_EOF);  // the disk ended early
            return Fail("cannot read");
        }
        done += count;
    }
    return true;
}

bool DiskFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD count = 0;
        if (!WriteFile(WinHandle(handle_), bytes.data() + done, piece, &count, &position))
            return Fail("cannot write");
        if (count == 0) {
            SetLastError(ERROR_DISK_FULL);
            return Fail("cannot write");
        }
        done += count;
    }
    return true;
}

bool DiskFile::Flush() {
    // Windows keeps no cached copy of a disk opened as \\.\PhysicalDriveN: reads go to it.
    if (!FlushFileBuffers(WinHandle(handle_)))
        return Fail("cannot flush");
    return true;
}

bool DiskFile::StillThere() const {
    if (KindOf(path_) != kind_)
        return false;
    HANDLE file = OpenForIdentity(path_);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    const bool known = Identity(file, kind_, &device, &number);
    CloseHandle(file);
    return known && device == device_ && number == file_number_;
}

}  // namespace platform
