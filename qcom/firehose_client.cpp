#include "qcom/firehose_client.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace fendrel::qcom {
namespace {

using firehose::Element;

constexpr std::string_view kTrue = "true";
constexpr std::size_t kDigestDigits = 64;

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

std::optional<std::uint64_t> NumberOf(const std::string* text) {
    if (text == nullptr)
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return value;
}

FirehoseResult ResultOf(LinkStatus status) {
    switch (status) {
        case LinkStatus::kOk:
            return FirehoseResult::kOk;
        case LinkStatus::kTimeout:
            return FirehoseResult::kTimeout;
        case LinkStatus::kStopped:
            return FirehoseResult::kStopped;
        case LinkStatus::kGone:
            return FirehoseResult::kGone;
        case LinkStatus::kError:
            break;
    }
    return FirehoseResult::kIoError;
}

FirehoseStatus StatusOf(LinkStatus status, std::string_view doing) {
    FirehoseStatus result{ResultOf(status), {}};
    switch (status) {
        case LinkStatus::kOk:
            break;
        case LinkStatus::kTimeout:
            result.detail = "no answer " + std::string(doing);
            break;
        case LinkStatus::kStopped:
            result.detail = "stopped " + std::string(doing);
            break;
        case LinkStatus::kGone:
            result.detail = "the phone left the bus " + std::string(doing);
            break;
        case LinkStatus::kError:
            result.detail = "the port failed " + std::string(doing);
            break;
    }
    return result;
}

Element RangeCommand(std::string name, const SectorRange& range) {
    return {std::move(name),
            {{"SECTOR_SIZE_IN_BYTES", Number(range.sector_size)},
             {"num_partition_sectors", Number(range.count)},
             {"physical_partition_number", Number(range.partition)},
             {"start_sector", Number(range.first)}}};
}

// A number that follows `key` in a log line's JSON ("total_blocks":123).
std::optional<std::uint64_t> JsonNumber(std::string_view line, std::string_view key) {
    const std::size_t at = line.find("\"" + std::string(key) + "\"");
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t digits = line.find_first_of("0123456789", at + key.size() + 2);
    if (digits == std::string_view::npos)
        return std::nullopt;
    const std::string_view between = line.substr(at + key.size() + 2, digits - at - key.size() - 2);
    if (between.find_first_not_of(" :") != std::string_view::npos)
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(line.data() + digits, line.data() + line.size(), value);
    if (error != std::errc())
        return std::nullopt;
    return value;
}

// The 64 hex digits after "Digest" in a log line, as bytes.
std::optional<Sha256Digest> DigestIn(std::string_view line) {
    const std::size_t at = line.find("igest");
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t first = at + 5;
    while (first < line.size() && !std::isxdigit(static_cast<unsigned char>(line[first])))
        ++first;
    if (line.substr(first).starts_with("0x") || line.substr(first).starts_with("0X"))
        first += 2;
    std::size_t end = first;
    while (end < line.size() && std::isxdigit(static_cast<unsigned char>(line[end])))
        ++end;
    if (end - first != kDigestDigits)
        return std::nullopt;
    Sha256Digest digest;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const char* pair = line.data() + first + 2 * i;
        std::from_chars(pair, pair + 2, digest[i], 16);
    }
    return digest;
}

}  // namespace

FirehoseStatus FirehoseClient::SendBytes(std::span<const std::uint8_t> bytes,
                                         std::size_t* written) {
    return StatusOf(link_.link().Write(bytes, kWriteTimeout, written), "taking a command");
}

FirehoseClient::Reply FirehoseClient::Command(const Element& command,
                                              platform::Milliseconds timeout,
                                              const Meanwhile& meanwhile) {
    logs_.clear();
    Reply reply;
    reply.status = SendDocument(command);
    if (!reply.status.ok())
        return reply;
    if (meanwhile)
        meanwhile();
    return Await(timeout);
}

FirehoseStatus FirehoseClient::SendDocument(const Element& command) {
    const std::string text = firehose::DocumentText(command);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::size_t written = 0;
    const FirehoseStatus status = SendBytes(bytes, &written);
    if (status.result == FirehoseResult::kStopped && written > 0) {
        // Half a document would spoil the next one the phone reads: it goes out whole.
        ByteLink& link = link_.link();
        link.set_stoppable(false);
        link.Write(bytes.subspan(written), kWriteTimeout);
        link.set_stoppable(true);
    }
    return status;
}

FirehoseClient::Reply FirehoseClient::Await(platform::Milliseconds timeout) {
    platform::Clock& clock = link_.clock();
    const platform::Milliseconds deadline = clock.Now() + timeout;
    Reply reply;
    while (true) {
        firehose::Scan scan = firehose::ScanDocument(link_.bytes());
        link_.Consume(scan.consumed);
        if (scan.kind == firehose::Scan::Kind::kMalformed) {
            reply.status = {FirehoseResult::kProtocolError, "the phone sent " + scan.error};
            return reply;
        }
        if (scan.kind == firehose::Scan::Kind::kDocument) {
            for (Element& element : scan.document.elements) {
                if (element.name == "log") {
                    if (const std::string* value = element.Attribute("value"))
                        logs_.push_back(*value);
                } else if (element.name == "response") {
                    const std::string* value = element.Attribute("value");
                    reply.ack = value != nullptr && *value == firehose::kAck;
                    reply.response = std::move(element);
                    return reply;
                }
            }
            continue;
        }
        const platform::Milliseconds left = deadline - clock.Now();
        const LinkStatus status =
            left > platform::Milliseconds(0) ? link_.More(left) : LinkStatus::kTimeout;
        if (status == LinkStatus::kTimeout && clock.Now() < deadline)
            continue;
        if (status != LinkStatus::kOk) {
            reply.status = StatusOf(status, "to a command");
            return reply;
        }
    }
}

FirehoseStatus FirehoseClient::Refusal(const Reply& reply, std::string_view command) const {
    if (!reply.status.ok())
        return reply.status;
    std::string reason;
    for (const std::string& line : logs_)
        reason += (reason.empty() ? "" : "; ") + line;
    return {FirehoseResult::kNak,
            std::string(command) + " refused" + (reason.empty() ? "" : ": " + reason)};
}

FirehoseStatus FirehoseClient::Configure(std::string_view memory_name, std::size_t wanted_payload) {
    platform::Clock& clock = link_.clock();
    const platform::Milliseconds deadline = clock.Now() + kConfigureWindow;
    bool sent_again = false;
    bool offered = false;
    while (true) {
        Reply reply = Command({"configure",
                               {{"MemoryName", std::string(memory_name)},
                                {"MaxPayloadSizeToTargetInBytes", Number(wanted_payload)},
                                {"Verbose", "0"},
                                {"ZlpAwareHost", "1"},
                                {"SkipStorageInit", "0"}}},
                              kConfigureAttempt);
        // A programmer that ran already may still be ending a command of an earlier run.
        while (reply.status.ok() && reply.response.Attribute("rawmode") != nullptr)
            reply = Await(kConfigureAttempt);
        const bool time_left = clock.Now() < deadline;
        if (reply.status.result == FirehoseResult::kTimeout && time_left) {
            sent_again = true;  // the programmer may not have been listening yet
            continue;
        }
        if (!reply.status.ok())
            return reply.status;
        const std::optional<std::uint64_t> size =
            NumberOf(reply.response.Attribute("MaxPayloadSizeToTargetInBytes"));
        if (!reply.ack) {
            // A phone that wants smaller pieces says how small; ask for that once.
            if (!offered && size && *size > 0 && *size < wanted_payload) {
                offered = true;
                wanted_payload = static_cast<std::size_t>(*size);
                continue;
            }
            // It may be the answer to what an earlier run or a probe left: ask again, once the
            // programmer is quiet, while there is time.
            if (time_left) {
                DiscardAnswers();
                sent_again = true;
                continue;
            }
            return Refusal(reply, "configure");
        }
        payload_ = static_cast<std::size_t>(
            std::min<std::uint64_t>(size.value_or(wanted_payload), wanted_payload));
        break;
    }
    if (sent_again)
        DiscardAnswers();  // to the earlier copies
    if (payload_ == 0)
        return {FirehoseResult::kProtocolError, "the phone agreed to pieces of 0 bytes"};
    return {};
}

void FirehoseClient::DiscardAnswers(platform::Milliseconds quiet) {
    while (link_.More(quiet) == LinkStatus::kOk) {
    }
    link_.Clear();
}

FirehoseStatus FirehoseClient::StorageSize(std::uint32_t partition, std::uint64_t& sectors,
                                           std::uint32_t& sector_size) {
    const Reply reply = Command(
        {"getstorageinfo", {{"physical_partition_number", Number(partition)}}}, kAnswerTimeout);
    if (!reply.ack)
        return Refusal(reply, "getstorageinfo");
    for (const std::string& line : logs_) {
        const auto blocks = JsonNumber(line, "total_blocks");
        const auto block_size = JsonNumber(line, "block_size");
        if (blocks && block_size && *block_size > 0 && *block_size <= UINT32_MAX) {
            sectors = *blocks;
            sector_size = static_cast<std::uint32_t>(*block_size);
            return {};
        }
    }
    return {FirehoseResult::kProtocolError,
            "the phone did not tell the size of physical partition " + Number(partition)};
}

FirehoseStatus FirehoseClient::Program(const SectorRange& range, const Fill& fill) {
    const std::size_t piece = payload_ - payload_ % range.sector_size;
    if (piece == 0) {
        return {FirehoseResult::kProtocolError, "pieces of " + Number(payload_) +
                                                    " bytes hold no sector of " +
                                                    Number(range.sector_size)};
    }
    const std::uint64_t total = range.count * range.sector_size;
    const Reply reply = Command(RangeCommand("program", range), kAnswerTimeout);
    if (reply.status.result == FirehoseResult::kStopped) {
        // The phone took the command: it is given its data all the same.
        if (AnswerAfterStop().ack)
            return FinishAfterStop({}, total, fill, piece);
        return reply.status;
    }
    if (!reply.ack)
        return Refusal(reply, "program");
    if (!RawMode(reply))
        return {FirehoseResult::kProtocolError, "program was answered without raw mode"};

    // Kept from command to command: a fresh piece-sized buffer would be zeroed and faulted in
    // for every megabyte sent.
    piece_buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(piece, total)));
    bool source_ok = true;
    for (std::uint64_t sent = 0; sent < total;) {
        const std::span<std::uint8_t> data =
            std::span(piece_buffer_)
                .first(static_cast<std::size_t>(std::min<std::uint64_t>(piece, total - sent)));
        source_ok = source_ok && fill(data);
        if (!source_ok)
            std::fill(data.begin(), data.end(), 0);
        std::size_t written = 0;
        const FirehoseStatus status = SendBytes(data, &written);
        sent += data.size();
        if (status.result == FirehoseResult::kStopped)
            return FinishAfterStop(data.subspan(written), total - sent, fill, piece);
        if (!status.ok())
            return status;
    }
    const Reply final = Await(kSlowAnswerTimeout);
    if (!final.ack)
        return Refusal(final, "program");
    if (!source_ok)
        return {FirehoseResult::kSourceError, "the data to write could not be read"};
    return {};
}

FirehoseStatus FirehoseClient::FinishAfterStop(std::span<const std::uint8_t> unsent,
                                               std::uint64_t more_bytes, const Fill& fill,
                                               std::size_t piece) {
    ByteLink& link = link_.link();
    link.set_stoppable(false);
    bool finished = link.Write(unsent, kWriteTimeout) == LinkStatus::kOk;
    std::vector<std::uint8_t> buffer;
    while (finished && more_bytes > 0) {
        buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(piece, more_bytes)));
        if (!fill(buffer))
            std::fill(buffer.begin(), buffer.end(), 0);
        finished = link.Write(buffer, kWriteTimeout) == LinkStatus::kOk;
        more_bytes -= buffer.size();
    }
    if (finished)
        Await(kStopAnswerWait);
    link.set_stoppable(true);
    return {FirehoseResult::kStopped, "stopped while writing"};
}

FirehoseClient::Reply FirehoseClient::AnswerAfterStop() {
    link_.link().set_stoppable(false);
    Reply reply = Await(kStopAnswerWait);
    link_.link().set_stoppable(true);
    reply.ack = reply.ack && RawMode(reply);
    return reply;
}

bool FirehoseClient::RawMode(const Reply& reply) {
    const std::string* rawmode = reply.response.Attribute("rawmode");
    return rawmode != nullptr && *rawmode == kTrue;
}

FirehoseStatus FirehoseClient::Read(const SectorRange& range, const Sink& sink) {
    ByteLink& link = link_.link();
    FirehoseStatus result;
    const Reply reply = Command(RangeCommand("read", range), kAnswerTimeout);
    if (reply.status.result == FirehoseResult::kStopped) {
        // The phone took the command: its data is taken all the same.
        if (!AnswerAfterStop().ack)
            return reply.status;
        result = reply.status;
        link.set_stoppable(false);
    } else if (!reply.ack) {
        return Refusal(reply, "read");
    } else if (!RawMode(reply)) {
        return {FirehoseResult::kProtocolError, "read was answered without raw mode"};
    }

    for (std::uint64_t left = range.count * range.sector_size; left > 0;) {
        if (link_.bytes().empty()) {
            const LinkStatus status = link_.More(result.ok() ? kAnswerTimeout : kStopAnswerWait);
            if (status == LinkStatus::kStopped && result.ok()) {
                // Take the rest, so that the phone ends the command where a next run expects it.
                result = StatusOf(status, "while reading");
                link.set_stoppable(false);
                continue;
            }
            if (status != LinkStatus::kOk) {
                link.set_stoppable(true);
                return result.ok() ? StatusOf(status, "with the data") : result;
            }
        }
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, link_.bytes().size()));
        if (result.ok())
            sink(link_.bytes().first(take));
        link_.Consume(take);
        left -= take;
    }
    const Reply final = Await(result.ok() ? kAnswerTimeout : kStopAnswerWait);
    link.set_stoppable(true);
    if (!result.ok())
        return result;
    if (!final.ack)
        return Refusal(final, "read");
    return {};
}

FirehoseStatus FirehoseClient::Digest(const SectorRange& range, Sha256Digest& digest,
                                      const Meanwhile& meanwhile) {
    const Reply reply =
        Command(RangeCommand("getsha256digest", range), kSlowAnswerTimeout, meanwhile);
    if (!reply.ack)
        return Refusal(reply, "getsha256digest");
    for (auto line = logs_.rbegin(); line != logs_.rend(); ++line) {
        if (const std::optional<Sha256Digest> found = DigestIn(*line)) {
            digest = *found;
            return {};
        }
    }
    return {FirehoseResult::kProtocolError, "the phone's answer to getsha256digest held no digest"};
}

FirehoseStatus FirehoseClient::Patch(const DiskPatch& patch, std::uint64_t value) {
    const Reply reply = Command({"patch",
                                 {{"SECTOR_SIZE_IN_BYTES", Number(patch.sector_size)},
                                  {"byte_offset", Number(patch.byte_offset)},
                                  {"filename", "DISK"},
                                  {"physical_partition_number", Number(patch.physical_partition)},
                                  {"size_in_bytes", Number(patch.size)},
                                  {"start_sector", Number(patch.start_sector)},
                                  {"value", Number(value)}}},
                                kAnswerTimeout);
    if (!reply.ack)
        return Refusal(reply, "patch");
    return {};
}

FirehoseStatus FirehoseClient::PowerReset() {
    logs_.clear();
    const FirehoseStatus sent = SendDocument({"power", {{"value", "reset"}}});
    if (!sent.ok())
        return sent;
    const Reply reply = Await(kAnswerTimeout);
    // A phone that restarts at once may leave before its answer gets through.
    if (reply.status.result == FirehoseResult::kGone)
        return {};
    if (!reply.ack)
        return Refusal(reply, "power");
    return {};
}

}  // namespace fendrel::qcom
