// Disks on Windows: the disk interfaces of SetupAPI, each opened as its device for
// IOCTL_STORAGE_GET_DEVICE_NUMBER (which \\.\PhysicalDriveN it is), its geometry and whether it
// is writable, and the USB device above it in the device tree.
#include <windows.h>

#include <initguid.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "platform/ascii.h"
#include "platform/device_enumerator.h"
#include "platform/disks.h"
#include "platform/paths.h"

namespace platform {
namespace {

constexpr std::string_view kUsbPrefix = "USB\\VID_";

std::string DiskPath(DWORD number) {
    return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

// The USB device above `instance` in the device tree: vendor, product and the part after the last
// backslash of its instance id, where the device enumerator's ids end too.
std::optional<DiskUsb> UsbAbove(DEVINST instance) {
    for (DEVINST node = instance;;) {
        char id[MAX_DEVICE_ID_LEN] = {};
        if (CM_Get_Device_IDA(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
            return std::nullopt;
        const std::string_view text(id);
        // "USB\VID_05C6&PID_9006\<place>"; an interface of a composite device has MI_ as well.
        if (text.size() > 21 && text.starts_with(kUsbPrefix) && text.substr(12, 5) == "&PID_") {
            DiskUsb usb;
            usb.vendor =
                static_cast<std::uint16_t>(std::stoul(std::string(text.substr(8, 4)), nullptr, 16));
            usb.product = static_cast<std::uint16_t>(
                std::stoul(std::string(text.substr(17, 4)), nullptr, 16));
            usb.place = UsbPlaceOf(text);
            if (text.find("&MI_") == std::string_view::npos)
                return usb;
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS)
            return std::nullopt;
        node = parent;
    }
}

// The numbers of the disks that the volume mounted on `folder` lies on.
std::vector<DWORD> DisksUnder(const std::string& folder) {
    char mount_point[MAX_PATH] = {};
    char volume[MAX_PATH] = {};
    if (!GetVolumePathNameA(folder.c_str(), mount_point, MAX_PATH) ||
        !GetVolumeNameForVolumeMountPointA(mount_point, volume, MAX_PATH))
        return {};
    std::string device(volume);
    device.pop_back();
    HANDLE handle = CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    std::vector<DWORD> numbers;
    std::vector<char> buffer(sizeof(VOLUME_DISK_EXTENTS) + 32 * sizeof(DISK_EXTENT));
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
        for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 32; ++i)
            numbers.push_back(extents->Extents[i].DiskNumber);
    }
    CloseHandle(handle);
    return numbers;
}

// The disk behind one disk interface; none when it does not answer as a disk.
std::optional<Disk> DiskOf(const char* interface_path, DEVINST instance,
                           const std::vector<DWORD>& system_disks) {
    HANDLE device = CreateFileA(interface_path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return std::nullopt;
    STORAGE_DEVICE_NUMBER number{};
    DISK_GEOMETRY_EX geometry{};
    DWORD returned = 0;
    const bool known = DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                       sizeof number, &returned, nullptr) &&
                       DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0,
                                       &geometry, sizeof geometry, &returned, nullptr);
    const bool writable =
        DeviceIoControl(device, IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(device);
    if (!known)
        return std::nullopt;
    Disk disk;
    disk.name = "PhysicalDrive" + std::to_string(number.DeviceNumber);
    disk.path = DiskPath(number.DeviceNumber);
    disk.device_number =
        std::to_string(number.DeviceType) + ":" + std::to_string(number.DeviceNumber);
    disk.bytes = static_cast<std::uint64_t>(geometry.DiskSize.QuadPart);
    disk.read_only = !writable;
    disk.usb = UsbAbove(instance);
    disk.holds_system = std::find(system_disks.begin(), system_disks.end(), number.DeviceNumber) !=
                        system_disks.end();
    return disk;
}

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder, length) : "C:\\";
}

}  // namespace

DiskEnumerator DiskEnumerator::FromEnvironment() {
    return DiskEnumerator("");
}

std::vector<Disk> DiskEnumerator::WholeDisks() const {
    std::vector<DWORD> system_disks = DisksUnder(SystemFolder());
    for (const DWORD number : DisksUnder(ProgramDirectory()))
        system_disks.push_back(number);

    std::vector<Disk> disks;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return disks;
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof interface;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, index, &interface);
         ++index) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interface, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            continue;
        std::vector<char> buffer(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &interface, detail, needed, nullptr, &info))
            continue;
        if (auto disk = DiskOf(detail->DevicePath, info.DevInst, system_disks))
            disks.push_back(std::move(*disk));
    }
    SetupDiDestroyDeviceInfoList(set);
    std::sort(disks.begin(), disks.end(), [](const Disk& a, const Disk& b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });
    return disks;
}

std::optional<DiskEnumerator::Found> DiskEnumerator::Find(const std::string& path) const {
    for (Disk& disk : WholeDisks()) {
        if (EqualsIgnoringAsciiCase(path, disk.path))
            return Found{std::move(disk), false};
    }
    return std::nullopt;
}

DiskUseCheck CheckDiskUse(const Disk& disk, const MountTable& mounts) {
    if (disk.holds_system)
        return {DiskUse::kHoldsSystem,
                disk.path + " holds the Windows folder or the folder of this program"};
    std::string error;
    const auto mounted = mounts.Mounts(&error);
    if (!mounted)
        return {DiskUse::kUnknown, error};
    for (const Mount& mount : *mounted) {
        if (EqualsIgnoringAsciiCase(mount.source, disk.path))
            return {DiskUse::kMounted, disk.path + " has a volume mounted on " + mount.mount_point};
    }
    return {};
}

}  // namespace platform
