#include "qcom/sahara_host.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace fendrel::qcom {
namespace {

using namespace sahara;

// A Firehose programmer's documents begin so; a Sahara packet never does (no command is 0x3C).
constexpr std::uint8_t kTextStart = '<';

// What a host sends when the phone stays silent after the answer to its missed HELLO: a
// programmer that runs already answers it, a loader does not take it for anything.
constexpr std::string_view kFirehoseProbe = "<?xml version=\"1.0\" ?><data><nop /></data>";

SaharaOutcome Failure(SaharaResult result, std::string error, std::uint64_t sent) {
    SaharaOutcome outcome;
    outcome.result = result;
    outcome.error = std::move(error);
    outcome.sent = sent;
    return outcome;
}

SaharaResult ResultOf(LinkStatus status) {
    switch (status) {
        case LinkStatus::kTimeout:
            return SaharaResult::kTimeout;
        case LinkStatus::kStopped:
            return SaharaResult::kStopped;
        case LinkStatus::kGone:
            return SaharaResult::kGone;
        case LinkStatus::kOk:
        case LinkStatus::kError:
            break;
    }
    return SaharaResult::kIoError;
}

std::string LinkError(LinkStatus status, std::string_view doing) {
    switch (status) {
        case LinkStatus::kTimeout:
            return "the phone did not answer " + std::string(doing);
        case LinkStatus::kStopped:
            return "stopped " + std::string(doing);
        case LinkStatus::kGone:
            return "the phone left the bus " + std::string(doing);
        case LinkStatus::kOk:
        case LinkStatus::kError:
            break;
    }
    return "the port failed " + std::string(doing);
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

SaharaHost::Next SaharaHost::ReadPacket(platform::Milliseconds timeout) {
    Next next;
    platform::Clock& clock = link_.clock();
    const platform::Milliseconds deadline = clock.Now() + timeout;
    next.status = link_.Want(1, timeout);
    if (next.status != LinkStatus::kOk)
        return next;
    if (link_.bytes()[0] == kTextStart) {
        next.text = true;
        return next;
    }
    next.status =
        link_.Want(kHeaderBytes, std::max(deadline - clock.Now(), platform::Milliseconds(0)));
    if (next.status != LinkStatus::kOk)
        return next;
    const std::optional<std::size_t> length = PacketLength(link_.bytes().first(kHeaderBytes));
    if (!length) {  // an unknown command, or a length not its command's: the decoder says which
        next.packet = Decode(link_.bytes().first(kHeaderBytes));
        return next;
    }
    next.status = link_.Want(*length, std::max(deadline - clock.Now(), platform::Milliseconds(0)));
    if (next.status != LinkStatus::kOk)
        return next;
    next.packet = Decode(link_.bytes().first(*length));
    link_.Consume(*length);
    return next;
}

LinkStatus SaharaHost::Send(std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    const LinkStatus status = link_.link().Write(bytes, kWriteTimeout, &written);
    if (status == LinkStatus::kStopped)
        unsent_ = bytes.subspan(std::min(written, bytes.size()));
    return status;
}

bool SaharaHost::Answer(const ReadData& request, std::span<const std::uint8_t> programmer,
                        SaharaOutcome& outcome) {
    if (!image_known_) {
        image_ = request.image;
        image_known_ = true;
    }
    if (request.image != image_) {
        outcome = Failure(SaharaResult::kProtocolError,
                          "the phone asked for image " + std::to_string(request.image) +
                              " after image " + std::to_string(image_),
                          outcome.sent);
        return false;
    }
    if (request.length == 0 || request.offset > programmer.size() ||
        request.length > programmer.size() - request.offset) {
        outcome = Failure(SaharaResult::kProtocolError,
                          "the phone asked for " + std::to_string(request.length) + " bytes at " +
                              std::to_string(request.offset) + " of a " +
                              std::to_string(programmer.size()) + "-byte programmer",
                          outcome.sent);
        return false;
    }
    const LinkStatus status = Send(programmer.subspan(static_cast<std::size_t>(request.offset),
                                                      static_cast<std::size_t>(request.length)));
    if (status != LinkStatus::kOk) {
        outcome = Failure(ResultOf(status), LinkError(status, "while taking the programmer"),
                          outcome.sent);
        return false;
    }
    outcome.sent = std::min<std::uint64_t>(outcome.sent + request.length, programmer.size());
    return true;
}

void SaharaHost::LeaveClean(std::span<const std::uint8_t> programmer) {
    ByteLink& link = link_.link();
    link.set_stoppable(false);
    if (!unsent_.empty())
        link.Write(unsent_, kWriteTimeout);
    unsent_ = {};
    // The loader asks for the rest and is given it, and is told DONE: the programmer runs, and
    // the next run finds it so. A phone that takes longer than the budget is left as it is.
    platform::Clock& clock = link_.clock();
    const platform::Milliseconds deadline = clock.Now() + kStopBudget;
    SaharaOutcome ignored;
    while (clock.Now() < deadline) {
        const Next next = ReadPacket(std::min(kPacketTimeout, deadline - clock.Now()));
        if (next.status != LinkStatus::kOk || next.text || !next.packet.packet)
            break;
        const Packet& packet = *next.packet.packet;
        if (const auto* read = std::get_if<ReadData>(&packet)) {
            if (!Answer(*read, programmer, ignored))
                break;
        } else if (const auto* end = std::get_if<EndOfImage>(&packet);
                   end != nullptr && end->status == kStatusSuccess) {
            if (link.Write(Encode(Done{}), kWriteTimeout) != LinkStatus::kOk)
                break;
        } else {
            break;  // DONE_RESP, or anything the loader says to end it
        }
    }
    link.set_stoppable(true);
}

SaharaOutcome SaharaHost::Upload(std::span<const std::uint8_t> programmer,
                                 const Progress& progress) {
    // kUnheard: no HELLO seen, nothing sent; kGreetedBlind: the missed HELLO was answered.
    enum class Stage { kUnheard, kGreetedBlind, kCommandMode, kTransfer };
    Stage stage = Stage::kUnheard;
    bool probed = false;  // the silence after a blind greeting was met with the Firehose probe
    SaharaOutcome outcome;
    platform::Milliseconds wait = kHelloWait;
    image_known_ = false;
    unsent_ = {};

    std::optional<Next> held;  // a packet read ahead to tell a late HELLO from a new one

    while (true) {
        const Next next = held ? *std::exchange(held, std::nullopt) : ReadPacket(wait);
        wait = kPacketTimeout;
        const bool blind_greeting_due = stage == Stage::kUnheard;
        if (next.status == LinkStatus::kTimeout &&
            (blind_greeting_due || (stage == Stage::kGreetedBlind && !probed))) {
            // The HELLO went before the port was opened: answer it now, or, when that brought
            // nothing either, see whether a programmer runs already.
            const LinkStatus sent =
                blind_greeting_due ? Send(Encode(HelloResponse{})) : Send(Bytes(kFirehoseProbe));
            probed = !blind_greeting_due;
            stage = Stage::kGreetedBlind;
            if (sent == LinkStatus::kOk)
                continue;
            outcome = Failure(ResultOf(sent), LinkError(sent, "when greeted"), outcome.sent);
            break;
        }
        if (next.status != LinkStatus::kOk) {
            outcome = Failure(
                ResultOf(next.status),
                LinkError(next.status,
                          outcome.sent == 0 ? "when greeted" : "during the programmer's upload"),
                outcome.sent);
            break;
        }
        if (next.text) {
            outcome.result = SaharaResult::kProgrammerRunning;
            return outcome;
        }
        if (!next.packet.packet) {
            outcome = Failure(SaharaResult::kProtocolError,
                              "a malformed packet: " + next.packet.error, outcome.sent);
            break;
        }
        const Packet& packet = *next.packet.packet;
        const bool transferring = stage == Stage::kTransfer || stage == Stage::kGreetedBlind;
        LinkStatus sent = LinkStatus::kOk;
        if (const auto* hello = std::get_if<Hello>(&packet)) {
            if (hello->mode == kMemoryDebugMode) {
                outcome = Failure(SaharaResult::kProtocolError,
                                  "the phone offers a memory dump, not a programmer upload",
                                  outcome.sent);
                break;
            }
            if (stage == Stage::kGreetedBlind) {
                Next after = ReadPacket(kLateHelloWindow);
                if (after.status != LinkStatus::kTimeout) {
                    // A READ_DATA: the HELLO crossed the blind answer, which the phone took.
                    // Anything else is judged on its own; a HELLO again comes back here.
                    held = std::move(after);
                    continue;
                }
            }
            const bool command_mode = hello->mode == kCommandMode;
            HelloResponse answer;
            answer.mode = command_mode ? kCommandMode : kImageTransferPending;
            sent = Send(Encode(answer));
            stage = command_mode ? Stage::kCommandMode : Stage::kTransfer;
        } else if (std::holds_alternative<CommandReady>(packet) && stage == Stage::kCommandMode) {
            // The phone says HELLO again once switched.
            sent = Send(Encode(SwitchMode{kImageTransferPending}));
            stage = Stage::kTransfer;
        } else if (const auto* read = std::get_if<ReadData>(&packet); read && transferring) {
            if (!Answer(*read, programmer, outcome))
                break;
            if (progress)
                progress(outcome.sent, programmer.size());
        } else if (const auto* end = std::get_if<EndOfImage>(&packet); end && transferring) {
            if (end->status != kStatusSuccess) {
                outcome = Failure(
                    SaharaResult::kRefused,
                    "the phone refused the programmer (status " + std::to_string(end->status) + ")",
                    outcome.sent);
                outcome.phone_status = end->status;
                break;
            }
            sent = Send(Encode(Done{}));
        } else if (std::holds_alternative<DoneResponse>(packet) && transferring) {
            outcome.result = SaharaResult::kUploaded;
            return outcome;
        } else {
            outcome = Failure(SaharaResult::kProtocolError,
                              "an unexpected " + NameOf(packet) + " from the phone", outcome.sent);
            break;
        }
        if (sent != LinkStatus::kOk) {
            outcome = Failure(ResultOf(sent), LinkError(sent, "while answering"), outcome.sent);
            break;
        }
    }
    if (outcome.result == SaharaResult::kStopped)
        LeaveClean(programmer);
    return outcome;
}

}  // namespace fendrel::qcom
