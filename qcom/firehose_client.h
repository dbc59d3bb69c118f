// The host's side of Firehose (firehose_protocol.h): the commands a flash download needs, each
// sent as one document and answered by the programmer's response, with the log lines before it
// passed over (and kept: a NAK's reason is in them).
//
//   Configure      <configure MemoryName=... MaxPayloadSizeToTargetInBytes=.../>: the host asks
//                  for a raw-data piece size and takes what the phone answers: the size of an
//                  ACK, or, after a NAK that names a smaller size, that size asked for again.
//                  Within kConfigureWindow it asks again after silence (a programmer starting)
//                  or another NAK (the answer to what an earlier run left), and passes over the
//                  end of a raw-mode command (a programmer that ran already)
//   StorageSize    <getstorageinfo physical_partition_number=N/>: the partition's size from the
//                  log line the answer carries ("total_blocks":..., "block_size":...)
//   Program        <program .../>: the sectors' data in pieces of the agreed size
//   Read           <read .../>: the sectors' data back
//   Digest         <getsha256digest .../>: the SHA-256 of sectors, from the log line that holds
//                  64 hex digits after "Digest"; the caller's own work can run while the phone
//                  reads and digests the sectors
//   Patch          <patch filename="DISK" .../> with a number for its value
//   PowerReset     <power value="reset"/>: the phone restarts (and may leave before its answer)
//
// Every wait is bounded and watches the stop event. A stop never leaves the phone in the middle
// of a command: a program or read that went out has its raw data sent or taken to the end, also
// when the stop came before the phone's first answer (the callers keep such commands short), and
// the command's last response is waited for briefly.
//
// Threads: the worker's.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "qcom/byte_link.h"
#include "qcom/firehose_protocol.h"
#include "qcom/raw_program.h"
#include "qcom/sha256.h"

namespace fendrel::qcom {

enum class FirehoseResult {
    kOk,
    kNak,            // the programmer refused; `detail` holds its reason (its log lines)
    kTimeout,        // no answer in time
    kStopped,        // the stop event ended it
    kGone,           // the port went away
    kIoError,        // the port failed
    kProtocolError,  // an answer that makes no sense (a malformed document, missing values)
    kSourceError,    // the data to program could not be had
};

struct FirehoseStatus {
    FirehoseResult result = FirehoseResult::kOk;
    std::string detail;  // what went wrong
    bool ok() const { return result == FirehoseResult::kOk; }
};

// Sectors of one physical partition.
struct SectorRange {
    std::uint32_t partition = 0;
    std::uint32_t sector_size = 512;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

class FirehoseClient {
  public:
    static constexpr std::size_t kWantedPayload = 1 << 20;
    // A programmer that has just started may take this long to answer its first command.
    static constexpr platform::Milliseconds kConfigureWindow{5000};
    static constexpr platform::Milliseconds kConfigureAttempt{1000};
    static constexpr platform::Milliseconds kAnswerTimeout{10000};
    static constexpr platform::Milliseconds kWriteTimeout{10000};
    // The phone commits the data before it answers the last response of a program, and reads
    // the sectors for a digest: both may take long on a big region.
    static constexpr platform::Milliseconds kSlowAnswerTimeout{120000};
    // After a stop: how long the last response of a finished command is waited for.
    static constexpr platform::Milliseconds kStopAnswerWait{500};
    // A programmer that says nothing for this long has nothing more to say.
    static constexpr platform::Milliseconds kQuiet{100};

    // `link` must outlive the client.
    explicit FirehoseClient(LinkBuffer& link) : link_(link) {}

    FirehoseStatus Configure(std::string_view memory_name, std::size_t wanted_payload);

    // Throws away what the programmer says until it has been quiet for `quiet`: its answers to
    // what was sent before this client spoke (a host's probes of a programmer that ran already).
    void DiscardAnswers(platform::Milliseconds quiet = kQuiet);
    // The agreed raw-data piece size (0 before Configure).
    std::size_t payload() const { return payload_; }

    FirehoseStatus StorageSize(std::uint32_t partition, std::uint64_t& sectors,
                               std::uint32_t& sector_size);

    // Fills the next piece of the data (the span's size: whole sectors). False when the data
    // cannot be had; the command is then completed with zeros and the result is kSourceError.
    using Fill = std::function<bool(std::span<std::uint8_t>)>;
    FirehoseStatus Program(const SectorRange& range, const Fill& fill);

    // Takes the data as it arrives, in order, in pieces of any size.
    using Sink = std::function<void(std::span<const std::uint8_t>)>;
    FirehoseStatus Read(const SectorRange& range, const Sink& sink);

    // Runs after a command went out, before its answer is waited for.
    using Meanwhile = std::function<void()>;
    FirehoseStatus Digest(const SectorRange& range, Sha256Digest& digest,
                          const Meanwhile& meanwhile = {});
    FirehoseStatus Patch(const DiskPatch& patch, std::uint64_t value);
    FirehoseStatus PowerReset();

    // The log lines that came with the last command's answers.
    const std::vector<std::string>& logs() const { return logs_; }

  private:
    struct Reply {
        FirehoseStatus status;
        bool ack = false;
        firehose::Element response;
    };
    // Sends a command, runs `meanwhile` when it went out, and waits for its first response.
    Reply Command(const firehose::Element& command, platform::Milliseconds timeout,
                  const Meanwhile& meanwhile = {});
    // Waits for the next response, passing over (and keeping) log lines.
    Reply Await(platform::Milliseconds timeout);
    FirehoseStatus SendDocument(const firehose::Element& command);
    FirehoseStatus SendBytes(std::span<const std::uint8_t> bytes, std::size_t* written = nullptr);
    // After a stop, the answer to a command that went out: whether it opened raw mode.
    Reply AnswerAfterStop();
    static bool RawMode(const Reply& reply);
    // A NAK with its reason, or `reply`'s own status.
    FirehoseStatus Refusal(const Reply& reply, std::string_view command) const;
    // The rest of a raw transfer a stop cut short; returns kStopped.
    FirehoseStatus FinishAfterStop(std::span<const std::uint8_t> unsent, std::uint64_t more_bytes,
                                   const Fill& fill, std::size_t piece);

    LinkBuffer& link_;
    std::size_t payload_ = 0;
    std::vector<std::string> logs_;
    std::vector<std::uint8_t> piece_buffer_;  // a program's data on its way
};

}  // namespace fendrel::qcom
