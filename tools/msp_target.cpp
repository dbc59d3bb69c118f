#include "tools/msp_target.h"

namespace fendrel::msp {

bool DiskTarget::Open(const std::string& path) {
    path_ = path;
    disk_.reset();
    const auto found = disks_.Find(path);
    const platform::DiskFile::Kind kind = platform::DiskFile::KindOf(path);
    if (found) {
        if (found->partition) {
            error_ = path + " is a partition of " + found->disk.path + ", not a whole disk";
            return false;
        }
        if (found->disk.read_only) {
            error_ = path + " is read-only";
            return false;
        }
        const platform::DiskUseCheck use = platform::CheckDiskUse(found->disk, mounts_);
        if (use.use != platform::DiskUse::kFree) {
            error_ = use.detail;
            return false;
        }
        disk_ = found->disk;
    } else if (kind == platform::DiskFile::Kind::kBlockDevice) {
        error_ = path + " is a disk the system does not list";
        return false;
    }
    return file_.Open(path) || FileFailed();
}

bool DiskTarget::FileFailed() {
    error_ = file_.error();
    return false;
}

bool DiskTarget::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    return file_.ReadAt(offset, into) || FileFailed();
}

bool DiskTarget::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return file_.WriteAt(offset, bytes) || FileFailed();
}

bool DiskTarget::Flush() {
    return file_.Flush() || FileFailed();
}

bool DiskTarget::StillThere() const {
    if (!file_.StillThere())
        return false;
    if (!disk_)
        return true;
    const auto found = disks_.Find(path_);
    return found && !found->partition && found->disk.name == disk_->name;
}

}  // namespace fendrel::msp
