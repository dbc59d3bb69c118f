#include "qcom/streaming_host.h"

#include <algorithm>
#include <deque>

#include "qcom/streaming_protocol.h"

namespace fendrel::qcom {
namespace {

namespace st = streaming;

}  // namespace

DL_RET_E_TYPE StreamingHost::Next(StreamingReply& reply, platform::Milliseconds deadline) {
    while (true) {
        const platform::Milliseconds left = deadline - clock_.Now();
        if (left <= platform::Milliseconds(0))
            return DMSS_TIMEOUT;
        Packet packet;
        const DL_RET_E_TYPE result = link_.Receive(packet, left);
        if (result != DMSS_SUCCESS)
            return result;
        reply = DecodeStreamingReply(packet);
        if (reply.code == st::kLog) {
            last_log_ = reply.log;
            continue;
        }
        if (reply.code == st::kError) {
            last_error_ = reply.error.value_or(StreamingError{});
            return DMSS_REJECTED;
        }
        return DMSS_SUCCESS;
    }
}

DL_RET_E_TYPE StreamingHost::Command(std::span<const std::uint8_t> request, std::uint8_t reply_code,
                                     StreamingReply& reply, platform::Milliseconds timeout) {
    last_error_.reset();
    last_status_ = 0;
    request_sent_ = false;
    // Nothing received before the request can answer it.
    DL_RET_E_TYPE result = link_.Discard();
    if (result == DMSS_SUCCESS)
        result = link_.Send(request);
    if (result != DMSS_SUCCESS)
        return result;
    request_sent_ = true;
    // Answers to earlier requests are passed over.
    const platform::Milliseconds deadline = clock_.Now() + timeout;
    while (true) {
        result = Next(reply, deadline);
        if (result != DMSS_SUCCESS)
            return result;
        if (reply.code == reply_code)
            return reply.well_formed ? DMSS_SUCCESS : DMSS_BAD_REPLY;
    }
}

DL_RET_E_TYPE StreamingHost::StatusCommand(std::span<const std::uint8_t> request,
                                           std::uint8_t reply_code) {
    StreamingReply reply;
    const DL_RET_E_TYPE result = Command(request, reply_code, reply);
    if (result != DMSS_SUCCESS)
        return result;
    last_status_ = reply.status;
    return reply.status == 0 ? DMSS_SUCCESS : DMSS_REJECTED;
}

DL_RET_E_TYPE StreamingHost::Hello(std::uint8_t features) {
    const Packet hello = EncodeStreamingHello(kVersion, kLowestCompatibleVersion, features);
    DL_RET_E_TYPE result = DMSS_TIMEOUT;
    StreamingReply reply;
    for (int attempt = 0; attempt < kHelloAttempts; ++attempt) {
        result = Command(hello, st::kHelloReply, reply);
        if (result != DMSS_TIMEOUT && result != DMSS_BAD_REPLY)
            break;
    }
    if (result != DMSS_SUCCESS)
        return result;
    phone_ = *reply.hello;
    const bool versions_fit =
        phone_.version >= kLowestCompatibleVersion && phone_.lowest_compatible_version <= kVersion;
    if (!versions_fit || (phone_.features & features) != features)
        return DMSS_REJECTED;
    block_size_ = phone_.block_size == 0 ? kDefaultBlock
                                         : std::min<std::size_t>(phone_.block_size, kLargestBlock);
    window_ = std::clamp<std::size_t>(phone_.window, 1, kLargestWindow);
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE StreamingHost::SecurityMode() {
    StreamingReply reply;
    return Command(EncodeSecurityMode(st::kTrusted), st::kSecurityModeReceived, reply);
}

DL_RET_E_TYPE StreamingHost::PartitionTable(std::span<const std::uint8_t> table,
                                            bool may_override) {
    const DL_RET_E_TYPE result =
        StatusCommand(EncodePartitionTable(false, table), st::kPartitionTableReceived);
    if (result != DMSS_REJECTED || last_status_ != st::kTableDiffers || !may_override)
        return result;
    const DL_RET_E_TYPE overridden =
        StatusCommand(EncodePartitionTable(true, table), st::kPartitionTableReceived);
    // With override, "differs" says the phone took the new table.
    return overridden == DMSS_REJECTED && last_status_ == st::kTableDiffers ? DMSS_SUCCESS
                                                                            : overridden;
}

DL_RET_E_TYPE StreamingHost::OpenMultiImage(std::uint8_t image_type,
                                            std::span<const std::uint8_t> payload) {
    return StatusCommand(EncodeOpenMultiImage(image_type, payload), st::kOpenedMultiImage);
}

DL_RET_E_TYPE StreamingHost::StreamWrite(std::span<const std::uint8_t> data,
                                         const std::function<void(std::size_t)>& progress,
                                         std::uint32_t first_address) {
    return StreamWrite(
        data.size(),
        [data](std::size_t offset, std::size_t length) { return data.subspan(offset, length); },
        progress, first_address);
}

DL_RET_E_TYPE StreamingHost::StreamWrite(std::size_t size, const StreamSource& source,
                                         const std::function<void(std::size_t)>& progress,
                                         std::uint32_t first_address) {
    last_error_.reset();
    DL_RET_E_TYPE result = link_.Discard();
    if (result != DMSS_SUCCESS)
        return result;
    struct Block {
        std::uint32_t address;
        std::size_t size;
    };
    std::deque<Block> on_the_way;
    std::size_t sent = 0;
    std::size_t answered = 0;
    // Each block's answer is waited for from the one before it.
    platform::Milliseconds deadline = clock_.Now() + kBlockTimeout;
    while (answered < size) {
        while (on_the_way.size() < window_ && sent < size) {
            const std::size_t length = std::min(block_size_, size - sent);
            const std::span<const std::uint8_t> block = source(sent, length);
            if (block.size() != length)
                return DMSS_IO_FAILED;
            const auto address = static_cast<std::uint32_t>(first_address + sent);
            result = link_.Send(EncodeStreamWrite(address, block));
            if (result != DMSS_SUCCESS)
                return result;
            on_the_way.push_back({address, length});
            sent += length;
        }
        StreamingReply reply;
        result = Next(reply, deadline);
        if (result != DMSS_SUCCESS)
            return result;
        if (reply.code != st::kBlockWritten)
            continue;  // a late answer to an earlier command
        if (!reply.well_formed || reply.address != on_the_way.front().address)
            return DMSS_BAD_REPLY;
        answered += on_the_way.front().size;
        on_the_way.pop_front();
        deadline = clock_.Now() + kBlockTimeout;
        if (progress)
            progress(answered);
    }
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE StreamingHost::Close() {
    StreamingReply reply;
    return Command(Packet{st::kClose}, st::kClosed, reply);
}

DL_RET_E_TYPE StreamingHost::Reset() {
    StreamingReply reply;
    const DL_RET_E_TYPE result = Command(Packet{st::kReset}, st::kResetAck, reply);
    return result == DMSS_PORT_GONE && request_sent_ ? DMSS_SUCCESS : result;
}

}  // namespace fendrel::qcom
