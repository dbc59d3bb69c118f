// The partitions of the simulated fastboot device: in memory, or backed by a file on disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fastboot_sim {

// Not thread-safe; the device guards its partitions.
class Partition {
  public:
    virtual ~Partition() = default;

    // The partition now holds exactly `bytes`.
    virtual bool Replace(std::vector<unsigned char>&& bytes) = 0;
    // Grows (with zeros) or shrinks the partition to `size` bytes.
    virtual bool Resize(std::uint64_t size) = 0;
    // Overwrites bytes inside the partition's current size.
    virtual bool WriteAt(std::uint64_t offset, const unsigned char* data, std::size_t size) = 0;
    virtual std::uint64_t size() const = 0;
    virtual std::string Contents() const = 0;
};

std::unique_ptr<Partition> MakeMemoryPartition();
// The file is created when missing and keeps what it holds; null with `error` set when it
// cannot be opened.
std::unique_ptr<Partition> MakeFilePartition(const std::string& path, std::string* error);

}  // namespace fastboot_sim
