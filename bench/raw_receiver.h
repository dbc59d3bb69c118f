// The raw side of the benchmarks that set a protocol beside its pseudo-terminal: a simulated
// device that takes bytes with no protocol at all.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>

#include "sim/phones/phone_behaviour.h"
#include "sim/phones/phone_modes.h"

namespace fendrel::bench {

// What the receiver answers once it has taken every byte.
inline constexpr std::uint8_t kAllTaken = 0x55;

// Takes `expected` bytes, writes them one after the other into `disk`, then answers one byte.
class RawReceiver final : public sim::PhoneBehaviour {
  public:
    RawReceiver(const std::string& disk, std::uint64_t expected)
        : fd_(open(disk.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)), expected_(expected) {}
    ~RawReceiver() override { close(fd_); }
    void Restart() { taken_ = 0; }

    void OnHostBytes(sim::PhoneControl& phone, int, std::span<const std::uint8_t> bytes) override {
        if (pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(taken_)) < 0)
            return;
        taken_ += bytes.size();
        if (taken_ == expected_)
            phone.Reply(sim::kDiagnosticInterface, std::span(&kAllTaken, 1));
    }

  private:
    int fd_;
    std::uint64_t expected_;
    std::uint64_t taken_ = 0;
};

}  // namespace fendrel::bench
