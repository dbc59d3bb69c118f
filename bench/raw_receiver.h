// The raw side of the benchmarks that set a protocol beside its pseudo-terminal: a simulated
// device that takes bytes with no protocol at all.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/serial_port.h"

#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_behaviour.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/simulated_phone.h"

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

// Sends every buffer of `buffers` in pieces of at most `piece` bytes over `port`, then waits for
// the receiver's answer; false when a write or the answer failed.
inline bool SendRaw(platform::SerialPort& port,
                    const std::vector<std::vector<std::uint8_t>>& buffers, std::size_t piece) {
    constexpr platform::Milliseconds kWriteTimeout{10000};
    constexpr platform::Milliseconds kDoneTimeout{60000};
    platform::ManualResetEvent stop;
    bool ok = true;
    for (const auto& buffer : buffers) {
        for (std::size_t at = 0; at < buffer.size(); at += piece) {
            const std::size_t size = std::min(buffer.size() - at, piece);
            ok = port.Write(std::span(buffer).subspan(at, size), stop, kWriteTimeout).status ==
                     platform::IoStatus::kOk &&
                 ok;
        }
    }
    std::uint8_t done = 0;
    return port.WaitReadable(stop, kDoneTimeout) == platform::IoStatus::kOk &&
           port.Read(std::span(&done, 1)).bytes == 1 && done == kAllTaken && ok;
}

// A raw receiver plugged in as a download-mode device, in a device tree of its own under `folder`,
// and the host's port to it.
class RawLink {
  public:
    RawLink(const std::string& folder, std::uint64_t expected, unsigned baud)
        : tree_(folder + "/raw-sys") {
        auto receiver = std::make_unique<RawReceiver>(folder + "/raw.img", expected);
        receiver_ = receiver.get();
        phone_ = std::make_unique<sim::SimulatedPhone>(tree_, "1-1", std::move(receiver));
        opened_ = phone_->Plug(sim::DownloadModeIdentity("RAW")) &&
                  port_.Open(phone_->Node(sim::kDiagnosticInterface), baud) ==
                      platform::OpenStatus::kOpened;
    }

    // One round: every buffer sent raw as SendRaw does; false when the link never opened or the
    // round failed.
    bool Send(const std::vector<std::vector<std::uint8_t>>& buffers, std::size_t piece) {
        receiver_->Restart();
        return opened_ && SendRaw(port_, buffers, piece);
    }

  private:
    sim::FakeDeviceTree tree_;
    RawReceiver* receiver_ = nullptr;
    std::unique_ptr<sim::SimulatedPhone> phone_;
    platform::SerialPort port_;  // closed before the phone and its tree go
    bool opened_ = false;
};

// Prints how long `bytes` took through the protocol (its name: `protocol_name`) and raw, as
// seconds and MiB/s, with the kind of figure (`figure` of `rounds`, such as "best of"), then the
// ratio of raw to protocol time.
inline void PrintBesideRaw(const char* protocol_name, double protocol, double raw,
                           std::uint64_t bytes, const char* figure, int rounds) {
    constexpr const char* kRawName = "raw pseudo-terminal";
    const int width =
        static_cast<int>(std::max(std::strlen(protocol_name), std::strlen(kRawName))) + 1;
    const double mib = static_cast<double>(bytes) / (1 << 20);
    const struct {
        const char* name;
        double seconds;
    } lines[] = {{protocol_name, protocol}, {kRawName, raw}};
    for (const auto& line : lines) {
        const std::string label = std::string(line.name) + ":";
        std::printf("%-*s %.2f s, %.1f MiB/s (%s %d)\n", width, label.c_str(), line.seconds,
                    mib / line.seconds, figure, rounds);
    }
    std::printf("ratio: %.2f\n", raw / protocol);
}

}  // namespace fendrel::bench
