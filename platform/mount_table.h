// The mount table: the file systems mounted now, each with its source and where it is mounted.
// The stand-in for the volumes of a disk and their drive letters.
//
// The POSIX backend reads a table in the format of /proc/self/mounts (source, mount point, type,
// options, two numbers; blanks in a field written as octal escapes such as \040). The system's
// table is /proc/self/mounts; a test gives a file of its own in that format, so that a disk can be
// shown as mounted without mounting anything.
//
// Blocking: one file read. Any thread; the object holds only a file name.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct Mount {
    std::string source;       // "/dev/sdb1", "tmpfs"
    std::string mount_point;  // "/media/phone"
};

class MountTable {
  public:
    explicit MountTable(std::string table_file) : table_file_(std::move(table_file)) {}
    // The mount table of the running system.
    static MountTable System();

    // Every mount, in table order. None, with `error` set, when the table cannot be read.
    std::optional<std::vector<Mount>> Mounts(std::string* error = nullptr) const;

  private:
    std::string table_file_;
};

}  // namespace platform
