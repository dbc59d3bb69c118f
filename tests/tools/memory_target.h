// Test helper: a disk for fendrel-msp's writer that lives in memory, and can be made to leave
// after a number of writes or to read one byte back other than it was written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "tools/msp_target.h"

namespace fendrel::testing {

class MemoryTarget final : public msp::WriteTarget {
  public:
    explicit MemoryTarget(std::uint64_t size) : bytes(size, '\0') {}

    std::uint64_t size() const override { return bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
        if (offset > bytes.size() || into.size() > bytes.size() - offset)
            return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
        if (flushed && flip_on_read_back >= offset && flip_on_read_back - offset < into.size())
            into[flip_on_read_back - offset] ^= 1;
        return true;
    }
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        if (offset > bytes.size() || data.size() > bytes.size() - offset)
            return false;
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        ++writes;
        return true;
    }
    bool Flush() override { return flushed = true; }
    bool StillThere() const override { return writes < leave_after_writes; }
    std::string error() const override { return "outside the disk"; }

    std::string bytes;
    int writes = 0;
    int leave_after_writes = 1 << 30;
    std::uint64_t flip_on_read_back = UINT64_MAX;
    bool flushed = false;
};

}  // namespace fendrel::testing
