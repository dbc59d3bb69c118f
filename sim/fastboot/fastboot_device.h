// A simulated phone in fastboot mode on the fastboot TCP transport at 127.0.0.1, for tests, the
// benchmark and trying Brenlo without a phone.
//
// It holds named partitions (in memory or backed by files), answers getvar (max-download-size,
// has-slot:*, is-logical:*, partition-type:*, partition-size:*, product, version, serialno),
// download, flash (raw and sparse images), erase, reboot and continue, and records a transcript
// of the exchange. Faults can be set up to hit chosen commands. It serves one host connection at
// a time, as a phone does, on a thread of its own; every public call is thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/fastboot/partition.h"

namespace fastboot_sim {

// A fault hits the first command that starts with `command` after it was added, once.
struct Fault {
    enum class Kind {
        kFail,          // replies "FAIL" followed by `text` (empty: FAIL alone)
        kInfo,          // sends `count` INFO lines ("INFO<text> <n>") before the normal reply
        kData,          // answers a download with DATA of `size` instead of the size offered
        kShortReply,    // replies with the 3 bytes "OKA"
        kSilence,       // never replies; drops the connection after `hold` (zero: never)
        kDelay,         // gives the normal reply after `hold`
        kDropDownload,  // drops the connection after `size` bytes of the download's data
    };
    Kind kind;
    std::string command;
    std::string text;
    std::uint32_t count = 0;
    std::uint32_t size = 0;
    std::chrono::milliseconds hold{0};
};

struct DeviceOptions {
    std::uint16_t port = 0;                        // 0: any free port
    std::uint32_t max_download_size = 0x10000000;  // 256 MiB
    std::uint64_t max_partition_size = std::uint64_t{1} << 30;
    std::string product = "fendrel-sim";
    std::FILE* echo = nullptr;  // when set, every transcript line is also printed here
};

class FastbootDevice {
  public:
    explicit FastbootDevice(DeviceOptions options = {});
    ~FastbootDevice();  // stops
    FastbootDevice(const FastbootDevice&) = delete;
    FastbootDevice& operator=(const FastbootDevice&) = delete;

    void AddMemoryPartition(const std::string& name);
    bool AddFilePartition(const std::string& name, const std::string& path, std::string* error);
    void AddFault(Fault fault);

    // Listens on 127.0.0.1 and starts serving; false with `error` set when it cannot listen.
    bool Start(std::string* error);
    // Ends the session under way and stops listening. Returns once the thread has ended.
    void Stop();

    std::uint16_t port() const { return port_; }
    // "tcp:127.0.0.1:PORT", the name a host opens it by.
    std::string interface_name() const;

    // What a partition holds; empty for a partition that does not exist.
    std::string PartitionContents(const std::string& name) const;
    bool HasPartition(const std::string& name) const;
    // Every line so far: "> command" from the host, "< reply" from the device, and "* event"
    // for the rest (connections, the handshake, the data of a download, faults at work).
    std::vector<std::string> Transcript() const;
    // Only the host's commands, in order.
    std::vector<std::string> Commands() const;
    int reboots() const;

  private:
    class Session;

    void Serve();
    void Record(std::string line);
    std::optional<Fault> TakeFault(const std::string& command);
    // The replies of the commands that touch the device's state.
    std::string GetVar(const std::string& name);
    std::string Flash(const std::string& name, std::vector<unsigned char>&& image);
    std::string Erase(const std::string& name);
    void CountReboot();

    DeviceOptions options_;
    platform::ManualResetEvent stop_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Partition>> partitions_;
    std::vector<Fault> faults_;
    std::vector<std::string> transcript_;
    int reboots_ = 0;
};

}  // namespace fastboot_sim
