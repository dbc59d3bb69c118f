// The disk fendrel-msp writes: a whole disk of the system, or a disk image file. Before anything
// is written it must be certain that nothing of the computer rests on it, and while it is written
// that it is still the disk it was.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/disk_file.h"
#include "platform/disks.h"
#include "platform/mount_table.h"

namespace fendrel::msp {

// What a plan is written to: byte reads and writes at offsets, a flush to the device, and
// whether it is still there. One thread.
class WriteTarget {
  public:
    virtual ~WriteTarget() = default;
    virtual std::uint64_t size() const = 0;
    // Whole reads and writes; false, with error() set, on any shortfall.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
    virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    // Everything written reaches the device, and later reads come from it.
    virtual bool Flush() = 0;
    // False once the target has left the system (a phone unplugged while it is written).
    virtual bool StillThere() const = 0;
    virtual std::string error() const = 0;
};

class DiskTarget final : public WriteTarget {
  public:
    DiskTarget(platform::DiskEnumerator disks, platform::MountTable mounts)
        : disks_(std::move(disks)), mounts_(std::move(mounts)) {}

    // Opens `path` for writing when it may be written: a whole disk (not a partition) that the
    // system lists, writable, with nothing mounted, held or running from it; or an image file
    // that no listed disk is. False, with error() saying why, otherwise.
    bool Open(const std::string& path);

    std::uint64_t size() const override { return file_.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override;
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    bool Flush() override;
    // The path still names what was opened, and a listed disk is still listed.
    bool StillThere() const override;
    std::string error() const override { return error_; }

  private:
    bool FileFailed();

    const platform::DiskEnumerator disks_;
    const platform::MountTable mounts_;
    std::string path_;
    std::optional<platform::Disk> disk_;
    platform::DiskFile file_;
    std::string error_;
};

}  // namespace fendrel::msp
