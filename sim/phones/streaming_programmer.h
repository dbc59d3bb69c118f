// What the simulated RAM programmers of the nand and nor families share once the boot loader has
// started them (GO): streaming download's framing (qcom/streaming_protocol.h), its hello, security
// mode, stream write, close and reset, and the faults of a write.
//
//   hello           answered with version 5 (lowest compatible 2), the programmer's block size
//                   and window, and its feature bits; a host whose versions do not overlap gets
//                   an error packet (incompatible features)
//   security mode   taken
//   stream write    goes to what the family opened last, at byte addresses from its start, each
//                   block answered with its address (the answers of a run of blocks go out
//                   together once the host's bytes are taken, every half window at the
//                   latest); nothing open: an error packet (out of sequence)
//   close           ends the open image or region; an error packet (close failed) when what was
//                   written could not all be kept
//   reset           answered, then the phone restarts in normal mode
// Commands a family does not know are answered with an error packet (invalid command).
//
// Faults (phone_faults.h), for every request: silent (nothing answered), error-mid-write (a
// stream write past an image's first block is answered with an error packet, operation failed,
// and nothing is written), unplug-mid-stream (the phone leaves the bus at such a write, for
// good).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "qcom/hdlc.h"
#include "qcom/streaming_packets.h"
#include "sim/phones/flash_family.h"

namespace sim {

class StreamingProgrammer : public DownloadSpeaker {
  public:
    // The block size and window the simulated programmers name in their hello.
    static constexpr std::uint32_t kBlockSize = 8 * 1024;  // a frame within kMaxFramePacket
    static constexpr std::uint16_t kWindow = 32;

    void OnStarted(PhoneControl& phone) override;
    void OnHostBytes(PhoneControl& phone, std::span<const std::uint8_t> bytes,
                     PhoneFault fault) override;

  protected:
    explicit StreamingProgrammer(std::uint8_t features, std::string flash_name)
        : features_(features), flash_name_(std::move(flash_name)) {}

    // A packet of the family's own; false when it does not know the command.
    virtual bool OnCommand(PhoneControl& phone, const fendrel::qcom::Packet& packet) = 0;
    // Writes `data` at byte `address` of what is open; false, with `error` set, when it cannot.
    virtual bool Write(std::uint32_t address, std::span<const std::uint8_t> data,
                       std::string& error) = 0;
    // Ends what is open; called by close, a restart and a new start. False when what was written
    // could not all be kept.
    virtual bool CloseOpen() = 0;

    void Answer(PhoneControl& phone, const fendrel::qcom::Packet& packet);
    void Refuse(PhoneControl& phone, std::uint32_t code, std::string_view text);
    // What is open takes stream writes from now on.
    void SetOpen(bool open) { open_ = open; }
    // The phone's fault for the request being answered.
    PhoneFault fault() const { return fault_; }

  private:
    void OnPacket(PhoneControl& phone, const fendrel::qcom::Packet& packet);
    void OnStreamWrite(PhoneControl& phone, const fendrel::qcom::Packet& packet);

    const std::uint8_t features_;
    const std::string flash_name_;
    fendrel::qcom::FrameDecoder decoder_;
    PhoneFault fault_ = PhoneFault::kNone;
    bool open_ = false;
    bool gone_ = false;             // unplugged for good
    std::size_t answers_held_ = 0;  // block answers since one last went out at once
};

}  // namespace sim
