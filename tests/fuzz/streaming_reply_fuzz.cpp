// Fuzzes the streaming download reply decoder, and the host that acts on it, with whatever a
// programmer may send. The input is a script:
//   byte 0        how many scripted packets answer each request (1 to 4)
//   then records  a length byte followed by that many bytes: one packet from the programmer
//                 (a record cut short by the end of the input is the last packet)
// Every decoded packet must stay within its bytes, a hello the decoder accepts must decode the
// same after its own encoding, and the host's whole multi-image sequence must end (on virtual
// time) with its block size, window and progress within bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>

#include "qcom/streaming_host.h"
#include "qcom/streaming_protocol.h"
#include "tests/qcom/fake_packet_link.h"

namespace {

using namespace fendrel;
using namespace fendrel::qcom;

void CheckDecoded(const Packet& packet) {
    const StreamingReply reply = DecodeStreamingReply(packet);
    if (!reply.hello)
        return;
    const StreamingReply again = DecodeStreamingReply(EncodeHelloReply(*reply.hello));
    const StreamingHello& a = *reply.hello;
    if (!again.hello)
        std::abort();
    const StreamingHello& b = *again.hello;
    if (a.version != b.version || a.lowest_compatible_version != b.lowest_compatible_version ||
        a.features != b.features || a.block_size != b.block_size || a.window != b.window ||
        a.flash_name != b.flash_name || a.sector_sizes != b.sector_sizes)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int per_request = 1 + data[0] % 4;
    std::deque<Packet> script;
    for (std::size_t at = 1; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        script.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    for (const Packet& packet : script) {
        if (!packet.empty())
            CheckDecoded(packet);
    }

    platform::VirtualClock clock;
    testing::FakePacketLink link(clock);
    link.phone = [&](const Packet&) {
        for (int i = 0; i < per_request && !script.empty(); ++i) {
            if (!script.front().empty())  // the framing never delivers an empty packet
                link.Reply(script.front());
            script.pop_front();
        }
    };
    StreamingHost host(link, clock);
    const Packet image(3 * 1024 + 7, 0x5A);
    std::size_t last = 0;
    bool written = host.Hello(streaming::kFeatureMultiImage) == DMSS_SUCCESS;
    if (written && (host.block_size() > StreamingHost::kLargestBlock || host.block_size() == 0 ||
                    host.window() > StreamingHost::kLargestWindow || host.window() == 0))
        std::abort();
    written = written && host.SecurityMode() == DMSS_SUCCESS;
    written = written && host.PartitionTable(Packet(16, 1), true) == DMSS_SUCCESS;
    written = written && host.OpenMultiImage(streaming::kImageAmss, {}) == DMSS_SUCCESS;
    written = written && host.StreamWrite(image, [&](std::size_t done) {
        if (done < last || done > image.size())
            std::abort();
        last = done;
    }) == DMSS_SUCCESS;
    if (written && last != image.size())
        std::abort();
    host.Close();
    host.Reset();
    return 0;
}
