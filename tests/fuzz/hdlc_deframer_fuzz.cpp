// Fuzzes the frame decoder on any byte stream: it must never crash or overrun, must yield the same
// packets however the stream is cut into reads, never a packet longer than its limit, and every
// packet it yields must come back unchanged from its own frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "qcom/hdlc.h"

namespace {

using fendrel::qcom::FrameDecoder;
using fendrel::qcom::Packet;

std::vector<Packet> Drain(FrameDecoder& decoder) {
    std::vector<Packet> packets;
    while (std::optional<Packet> packet = decoder.Next())
        packets.push_back(std::move(*packet));
    return packets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the read sizes; the rest is the stream.
    const unsigned cut = data[0];
    const std::span stream(data + 1, size - 1);

    FrameDecoder whole;
    whole.Feed(stream);
    const std::vector<Packet> expected = Drain(whole);

    FrameDecoder pieces;
    std::vector<Packet> got;
    for (std::size_t at = 0, step = 0; at < stream.size(); ++step) {
        const std::size_t length =
            std::min<std::size_t>(1 + (cut + step * 7) % 61, stream.size() - at);
        pieces.Feed(stream.subspan(at, length));
        for (Packet& packet : Drain(pieces))
            got.push_back(std::move(packet));
        at += length;
    }
    if (got != expected || pieces.dropped() != whole.dropped())
        std::abort();

    for (const Packet& packet : expected) {
        if (packet.empty() || packet.size() > fendrel::qcom::kMaxFramePacket)
            std::abort();
        FrameDecoder again;
        again.Feed(fendrel::qcom::EncodeFrame(packet));
        const std::optional<Packet> back = again.Next();
        if (!back || *back != packet || again.Next() || again.dropped() != 0)
            std::abort();
    }
    return 0;
}
