// A simulated phone that speaks: DIAG on the diagnostic tty in normal mode (9025) and disk mode
// (9006), DMSS download in download mode (9008), with faults on request.
//
// Normal mode answers the status request (ESN and mode word of its profile: the online word,
// or the offline word once it was taken offline), NV reads (items of its profile; any other item
// with NV status 5, never written), mode changes (offline; reset only from offline, else a
// bad-mode error; the reset restarts the phone in normal mode) and the switch to the downloader
// (it answers, then leaves the bus and comes back in download mode with a new port, or as a disk
// when its profile says so). Disk mode answers the same and takes a reset at once. Download mode
// answers NOP, the parameter request, the boot loader's version, the vendor boot-block query and
// version check, and the reset (it answers, then restarts in normal mode). Anything else is
// refused: DIAG's bad-command error, or a NAK with reason 6 (invalid command).
//
// Faults on request: see phone_faults.h.
//
// A phone of a flash family (flash_family.h) hands its download port to the family's speaker;
// the faults for every request reach the speaker too. A family with a RAM programmer keeps DMSS
// download and its boot loader also takes writes (both forms, at most 1024 bytes each, every one
// within or right after what it holds: else a NAK, invalid address) and GO to an address within
// what it holds (else a NAK, invalid address); after GO's ACK the programmer speaks on the
// port until the phone leaves the bus. Whatever it held is lost when the phone restarts.
//
// Threads: the phone's thread calls the behaviour; the setters and queries may be called from
// any thread.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "qcom/hdlc.h"
#include "sim/phones/flash_family.h"
#include "sim/phones/phone_behaviour.h"
#include "sim/phones/phone_faults.h"

namespace sim {

struct PhoneProfile {
    std::uint32_t esn = 0x8A3C05F1;
    std::uint16_t online_mode_word = 0;
    std::uint16_t offline_mode_word = 2;
    std::map<std::uint16_t, std::array<std::uint8_t, 128>> nv_items;
    std::uint32_t boot_block = 0x10000001;  // a boot block that knows its version
    std::uint16_t boot_version = 0x100;     // the version the boot block accepts
    std::string boot_loader_version = "SIM-PBL 1.0";
    // A flash family's programmer: the largest piece of raw data it takes at once.
    std::uint64_t largest_raw_piece = 1 << 20;
    // A phone that shows its flash as a disk when told to switch to its downloader: that disk.
    // None: the switch brings it to download mode.
    struct Disk {
        std::string image;
        std::uint64_t bytes = 0;
    };
    std::optional<Disk> disk_after_switch;
};

// `count` items from `first` on, each filled with a pattern of its own number.
void AddPatternNvItems(PhoneProfile& profile, std::uint16_t first, int count);
// The pattern of item `item`.
std::array<std::uint8_t, 128> PatternNvData(std::uint16_t item);

class TalkingPhone final : public PhoneBehaviour {
  public:
    // Longer than any reply time-out of the station.
    static constexpr platform::Milliseconds kDefaultDelay{5000};

    // What the boot loader was given by writes, from `address` on, and whether GO started it.
    struct Upload {
        std::uint32_t address = 0;
        std::vector<std::uint8_t> bytes;
        bool started = false;
    };

    // `download` speaks in download mode instead of DMSS download when given; `programmer` is
    // the RAM programmer the boot loader of DMSS download runs after GO (none: it refuses
    // uploads).
    explicit TalkingPhone(PhoneProfile profile = {},
                          std::unique_ptr<DownloadSpeaker> download = nullptr,
                          std::unique_ptr<DownloadSpeaker> programmer = nullptr)
        : profile_(std::move(profile)),
          download_(std::move(download)),
          programmer_(std::move(programmer)) {}

    // Shows `fault` from the next request on, for every command or only for `only_command`.
    void SetFault(PhoneFault fault, std::optional<std::uint8_t> only_command = std::nullopt,
                  platform::Milliseconds delay = kDefaultDelay);
    void SetEsn(std::uint32_t esn);
    PhoneProfile profile() const;
    // The command codes of the requests received so far, in order.
    std::vector<std::uint8_t> received() const;
    // The programmer uploaded since the phone last came up in download mode.
    Upload upload() const;

    void OnPlugged(PhoneControl& phone) override;
    void OnHostBytes(PhoneControl& phone, int interface_number,
                     std::span<const std::uint8_t> bytes) override;

  private:
    enum class Then { kStay, kToDownloadMode, kRestart, kStartProgrammer };
    struct Answer {
        fendrel::qcom::Packet packet;  // empty: none
        Then then = Then::kStay;
    };

    void OnRequest(PhoneControl& phone, const fendrel::qcom::Packet& request);
    Answer AnswerDiag(const fendrel::qcom::Packet& request, bool stay_online, bool switch_error);
    Answer AnswerDmss(const fendrel::qcom::Packet& request);
    Answer AnswerUpload(const fendrel::qcom::Packet& request);
    static Answer Refusal(const fendrel::qcom::Packet& request, bool download_mode);
    void Send(PhoneControl& phone, const Answer& answer, bool corrupt);

    mutable std::mutex mutex_;  // guards everything below against the setters' threads
    PhoneProfile profile_;
    PhoneFault fault_ = PhoneFault::kNone;
    std::optional<std::uint8_t> fault_command_;
    platform::Milliseconds delay_ = kDefaultDelay;
    std::vector<std::uint8_t> received_;
    bool offline_ = false;
    bool download_mode_ = false;
    bool disk_mode_ = false;
    fendrel::qcom::FrameDecoder decoder_;
    const std::unique_ptr<DownloadSpeaker> download_;
    const std::unique_ptr<DownloadSpeaker> programmer_;
    Upload upload_;
};

}  // namespace sim
