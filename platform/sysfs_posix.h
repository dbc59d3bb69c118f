// Reading a sysfs tree ($FENDREL_SYSFS_ROOT, default /sys) the way the POSIX backends of the
// device enumerator and the disks service share: attributes, uevent values, the USB device above
// a node, and the device node a tree entry stands for. Used by the POSIX backends only.
//
// Blocking: file reads only. Any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::sysfs {

// The tree's root: $FENDREL_SYSFS_ROOT, or /sys when it is unset or empty.
std::string RootFromEnvironment();

// The first line of an attribute, trimmed of blanks; empty when the attribute is missing.
std::string Attribute(const std::filesystem::path& folder, const char* name);

// A whole attribute read as a number in `base`, at most `max`; none when missing or malformed.
std::optional<unsigned long long> NumberAttribute(const std::filesystem::path& folder,
                                                  const char* name, int base,
                                                  unsigned long long max);

// The value of `key` in the folder's uevent ("DEVNAME=ttyUSB0"), or empty.
std::string UeventValue(const std::filesystem::path& folder, std::string_view key);

// The node a tree entry stands for: its DEVNAME below /dev, or the DEVNAME itself when it is an
// absolute path (how a simulated tree points at a pseudo-terminal or a disk image); the kernel
// name `kernel_name` below /dev when there is no DEVNAME.
std::string DeviceNode(const std::filesystem::path& folder, std::string_view kernel_name);

// The nearest folder above `folder`, and below `root`, that holds `attribute`; empty when none
// does.
std::filesystem::path AncestorWith(const std::filesystem::path& folder,
                                   const std::filesystem::path& root, const char* attribute);

// `number` as `digits` hexadecimal digits, upper case.
std::string Hex(unsigned long long number, int digits);

}  // namespace platform::sysfs
