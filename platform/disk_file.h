// A disk (or a disk image file) opened for writing sector by sector: the stand-in for CreateFile
// on \\.\PhysicalDriveN with reads and writes at offsets.
//
// A block device is opened exclusively (O_EXCL on POSIX): the system refuses while any partition
// of it is mounted or held, and nothing can mount one while it is open. On Windows a disk is
// opened without sharing; its volumes must be dismounted first, which the raw programmer checks.
// Reads and writes go to the given byte offsets; Flush pushes everything written to the device
// itself and drops the system's cached copy, so that later reads come from the device.
//
// Blocking: every call does disk I/O. Threads: one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/native_handle.h"

namespace platform {

class DiskFile {
  public:
    enum class Kind {
        kBlockDevice,  // a disk of the system
        kImageFile,    // a regular file standing for a disk
        kOther,        // anything else: never opened for writing
    };

    DiskFile() = default;
    ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    // What `path` is, without opening it; kOther also when it does not exist.
    static Kind KindOf(const std::string& path);

    // Opens `path` (a block device or an image file) for reading and writing. False, with
    // error() set, when it cannot be opened (missing, in use, no access) or is of another kind.
    bool Open(const std::string& path);
    void Close();
    bool is_open() const { return handle_ != kNoNativeHandle; }

    // The size in bytes.
    std::uint64_t size() const { return size_; }
    Kind kind() const { return kind_; }

    // Whole reads and writes at `offset`; false, with error() set, on any shortfall.
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into);
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Everything written reaches the device; the system's cached copy is dropped.
    bool Flush();
    // Whether the path it was opened by still names the same disk or file.
    bool StillThere() const;

    const std::string& error() const { return error_; }

  private:
    bool Fail(const std::string& what);

    std::string path_;
    NativeHandle handle_ = kNoNativeHandle;
    Kind kind_ = Kind::kOther;
    std::uint64_t size_ = 0;
    // What the path named when opened: a disk's device number, an image's file system and file.
    std::uint64_t device_ = 0;
    std::uint64_t file_number_ = 0;
    std::string error_;
};

}  // namespace platform
