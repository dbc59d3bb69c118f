// The mount table on POSIX: /proc/self/mounts, or a file in its format.
#include <string_view>

#include "platform/mount_table.h"

namespace platform {
namespace {

constexpr char kSystemTable[] = "/proc/self/mounts";

}  // namespace

MountTable MountTable::System() {
    return MountTable(kSystemTable);
}

std::optional<std::vector<Mount>> MountTable::Mounts(std::string* error) const {
    return ReadMountTableFile(table_file_, error);
}

}  // namespace platform
