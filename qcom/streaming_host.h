// The host's side of streaming download (qcom/streaming_protocol.h): what the station says to a
// RAM programmer to write a multi-image set, over a packet link (qcom/packet_link.h).
//
//   Hello          says hello with the features the host needs until the programmer answers (it
//                  may still be starting after GO), at most kHelloAttempts times; the
//                  programmer's versions must overlap the host's (kVersion,
//                  kLowestCompatibleVersion) and it must offer those features.
//                  Its preferred block size (at most kLargestBlock; kDefaultBlock when it names
//                  none) and its window (stream writes before the first answer, at most
//                  kLargestWindow; one when it names none) are used from then on.
//   SecurityMode   trusted mode.
//   PartitionTable sends the table without override. A programmer whose table differs answers
//                  so; only when `may_override` (the operator asked to erase) is the table sent
//                  again with override, and then taken.
//   OpenMultiImage opens an image type, with its header as payload where the type has one.
//   StreamWrite    writes an opened image from a byte on in blocks of the block size, keeping up
//                  to the window's count of blocks on the way; every block must be answered
//                  with its own address.
//   Close, Reset   the image; the phone (a port that goes away after the reset went out is a
//                  phone that restarted before its answer got through).
//
// Results (qcom/results.h): DMSS_SUCCESS; DMSS_REJECTED when the programmer refused: an error
// packet (last_error() keeps it), a status other than success (last_status()), versions or
// features that do not fit; DMSS_BAD_REPLY for a malformed answer or a block answered with an
// address not on the way; DMSS_TIMEOUT, DMSS_STOPPED, DMSS_PORT_GONE, DMSS_IO_FAILED,
// DMSS_NOT_ATTACHED as the link said. Log packets are passed over, the last one kept.
//
// Blocking: every answer is waited for at most kReplyTimeout (a block: kBlockTimeout), log
// packets and late answers included; the link's stop event ends any wait at once. Threads: the
// link's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "qcom/packet_link.h"
#include "qcom/streaming_packets.h"

namespace fendrel::qcom {

class StreamingHost {
  public:
    static constexpr platform::Milliseconds kReplyTimeout{2000};
    // Writing a block to flash may take a moment; the common hosts allow ten seconds.
    static constexpr platform::Milliseconds kBlockTimeout{10000};
    static constexpr int kHelloAttempts = 3;
    static constexpr std::uint8_t kVersion = 5;
    static constexpr std::uint8_t kLowestCompatibleVersion = 2;
    static constexpr std::size_t kDefaultBlock = 1024;
    static constexpr std::size_t kLargestBlock = 64 * 1024;
    static constexpr std::size_t kLargestWindow = 64;

    // `link` and `clock` (the link's) must outlive the host.
    StreamingHost(PacketLink& link, platform::Clock& clock) : link_(link), clock_(clock) {}

    // `features`: streaming::kFeature* bits.
    DL_RET_E_TYPE Hello(std::uint8_t features);
    DL_RET_E_TYPE SecurityMode();
    DL_RET_E_TYPE PartitionTable(std::span<const std::uint8_t> table, bool may_override);
    DL_RET_E_TYPE OpenMultiImage(std::uint8_t image_type, std::span<const std::uint8_t> payload);
    // `progress(written)` is called whenever blocks were answered, with the bytes answered so far.
    // `data` goes to the opened image from byte `first_address` on.
    DL_RET_E_TYPE StreamWrite(std::span<const std::uint8_t> data,
                              const std::function<void(std::size_t written)>& progress,
                              std::uint32_t first_address = 0);
    // The `length` bytes of what is written from `offset` on, valid until the next call; empty
    // when they cannot be had, which ends the write with DMSS_IO_FAILED.
    using StreamSource =
        std::function<std::span<const std::uint8_t>(std::size_t offset, std::size_t length)>;
    // The same for `size` bytes asked of `source` block by block as they go out: a caller that
    // reads them from a file in pieces keeps the window full from one piece to the next.
    DL_RET_E_TYPE StreamWrite(std::size_t size, const StreamSource& source,
                              const std::function<void(std::size_t written)>& progress,
                              std::uint32_t first_address = 0);
    DL_RET_E_TYPE Close();
    DL_RET_E_TYPE Reset();

    // Sends `request` and waits for the answer of code `reply_code`: the building block of the
    // commands above, for commands of a programmer's own (qcom/nor_protocol.h).
    DL_RET_E_TYPE Command(std::span<const std::uint8_t> request, std::uint8_t reply_code,
                          StreamingReply& reply, platform::Milliseconds timeout = kReplyTimeout);
    // The same for an answer that carries a status: DMSS_REJECTED unless it is 0.
    DL_RET_E_TYPE StatusCommand(std::span<const std::uint8_t> request, std::uint8_t reply_code);

    // The programmer's hello, once Hello succeeded.
    const StreamingHello& phone() const { return phone_; }
    std::size_t block_size() const { return block_size_; }
    std::size_t window() const { return window_; }
    const std::optional<StreamingError>& last_error() const { return last_error_; }
    std::uint8_t last_status() const { return last_status_; }
    const std::string& last_log() const { return last_log_; }

  private:
    // The next answer before `deadline` that is not a log packet; an error packet is
    // DMSS_REJECTED.
    DL_RET_E_TYPE Next(StreamingReply& reply, platform::Milliseconds deadline);

    PacketLink& link_;
    platform::Clock& clock_;
    bool request_sent_ = false;  // the last Command's request went out
    StreamingHello phone_;
    std::size_t block_size_ = kDefaultBlock;
    std::size_t window_ = 1;
    std::optional<StreamingError> last_error_;
    std::uint8_t last_status_ = 0;
    std::string last_log_;
};

}  // namespace fendrel::qcom
