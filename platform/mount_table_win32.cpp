// The mount table on Windows: every volume (FindFirstVolumeA), the disk it lies on
// (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS) and the folders it is mounted on; or a file in the
// format of /proc/self/mounts.
#include <windows.h>

#include <winioctl.h>

#include <cstring>
#include <vector>

#include "platform/mount_table.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// A volume spread over more disks than this (a spanned volume) is listed on these only.
constexpr DWORD kMostExtents = 32;

// The disks a volume ("\\?\Volume{...}\") lies on, as "\\.\PhysicalDriveN".
std::vector<std::string> DisksOfVolume(std::string volume) {
    volume.pop_back();  // the device itself is opened without the trailing backslash
    HANDLE device = CreateFileA(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return {};
    std::vector<char> buffer(sizeof(VOLUME_DISK_EXTENTS) + kMostExtents * sizeof(DISK_EXTENT));
    DWORD returned = 0;
    std::vector<std::string> disks;
    if (DeviceIoControl(device, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
        for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < kMostExtents; ++i) {
            disks.push_back("\\\\.\\PhysicalDrive" +
                            std::to_string(extents->Extents[i].DiskNumber));
        }
    }
    CloseHandle(device);
    return disks;
}

// The folders a volume is mounted on ("C:\", "D:\mnt\phone\"); its own name when none.
std::vector<std::string> MountPointsOfVolume(const std::string& volume) {
    std::vector<char> names(4096, '\0');
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameA(volume.c_str(), names.data(),
                                          static_cast<DWORD>(names.size()), &length))
        return {volume};
    std::vector<std::string> points;
    for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1)
        points.emplace_back(name);
    if (points.empty())
        points.push_back(volume);
    return points;
}

}  // namespace

MountTable MountTable::System() {
    return MountTable("");
}

std::optional<std::vector<Mount>> MountTable::Mounts(std::string* error) const {
    if (!table_file_.empty()) {
        return ReadMountTableFile(table_file_, error);
    }
    char volume[MAX_PATH] = {};
    HANDLE search = FindFirstVolumeA(volume, MAX_PATH);
    if (search == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = LastErrorText("cannot list the volumes");
        return std::nullopt;
    }
    std::vector<Mount> mounts;
    do {
        const std::vector<std::string> disks = DisksOfVolume(volume);
        for (const std::string& point : MountPointsOfVolume(volume)) {
            for (const std::string& disk : disks)
                mounts.push_back({disk, point});
        }
    } while (FindNextVolumeA(search, volume, MAX_PATH));
    FindVolumeClose(search);
    return mounts;
}

}  // namespace platform
