// Fuzzes Sahara on any stream a phone may send: the packet decoder must never crash, and every
// packet it accepts must come back as the same bytes from its encoding (but for the fields a
// decoder drops: HELLO's reserved words, CMD_READY's extra word); the host's upload must end,
// whatever the phone says, without sending more of the programmer than it has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "qcom/sahara_host.h"
#include "qcom/sahara_protocol.h"
#include "tests/qcom/fake_link.h"

namespace {

using namespace fendrel::qcom;

void CheckDecoder(std::span<const std::uint8_t> stream) {
    while (stream.size() >= sahara::kHeaderBytes) {
        const std::optional<std::size_t> length = sahara::PacketLength(stream);
        if (!length || *length > stream.size())
            return;
        const sahara::Decoded decoded = sahara::Decode(stream.first(*length));
        if (!decoded.packet)
            std::abort();
        const sahara::Packet& packet = *decoded.packet;
        const bool lossy = std::holds_alternative<sahara::Hello>(packet) ||
                           std::holds_alternative<sahara::HelloResponse>(packet) ||
                           std::holds_alternative<sahara::CommandReady>(packet);
        const std::vector<std::uint8_t> again = sahara::Encode(packet);
        if (!lossy &&
            !std::equal(again.begin(), again.end(), stream.begin(), stream.begin() + *length))
            std::abort();
        stream = stream.subspan(*length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span stream(data, size);
    CheckDecoder(stream);

    platform::VirtualClock clock;
    testing::FakeLink link(clock);
    link.Send(stream);
    LinkBuffer buffer(link, clock);
    const std::vector<std::uint8_t> programmer(0x3000, 0xA5);
    const SaharaOutcome outcome = SaharaHost(buffer).Upload(programmer, {});
    if (outcome.sent > programmer.size())
        std::abort();
    return 0;
}
