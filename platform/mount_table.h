// The mount table: the file systems mounted now, each with its source and where it is mounted.
// The stand-in for the volumes of a disk and their drive letters.
//
// The POSIX backend reads a table in the format of /proc/self/mounts (source, mount point, type,
// options, two numbers; blanks in a field written as octal escapes such as \040). The system's
// table is /proc/self/mounts; a test gives a file of its own in that format, so that a disk can be
// shown as mounted without mounting anything.
//
// On Windows the system's table lists every volume of a disk with the folders it is mounted on
// (its drive letter, "C:\\"), the source being the disk it lies on ("\\.\PhysicalDrive0").
//
// Blocking: one file read, or the volume calls. Any thread; the object holds only a file name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Mount {
    std::string source;       // "/dev/sdb1", "tmpfs"
    std::string mount_point;  // "/media/phone"
};

// The mounts of a table in the format of /proc/self/mounts.
std::vector<Mount> ParseMountTable(std::string_view text);
// The mounts of the table in `file`; none, with `error` set, when it cannot be read.
std::optional<std::vector<Mount>> ReadMountTableFile(const std::string& file, std::string* error);

class MountTable {
  public:
    explicit MountTable(std::string table_file) : table_file_(std::move(table_file)) {}
    // The mount table of the running system.
    static MountTable System();

    // Every mount, in table order: of the file given, or the system's. None, with `error` set,
    // when the table cannot be read.
    std::optional<std::vector<Mount>> Mounts(std::string* error = nullptr) const;

  private:
    std::string table_file_;
};

}  // namespace platform
