// Fuzzes the DMSS download packet decoders on any packet: none may crash or read beyond the
// packet, every write and GO they accept must come back unchanged from its own encoding, and a
// version text never reaches past its packet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "qcom/dmss_packets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace fendrel::qcom;
    const Packet packet(data, data + size);

    if (const std::optional<DmssWrite> write = DecodeDmssWrite(packet)) {
        if (EncodeDmssWrite(write->form, write->address, write->data) != packet)
            std::abort();
    }
    if (const std::optional<std::uint32_t> go = DecodeDmssGo(packet)) {
        if (EncodeDmssGo(*go) != packet)
            std::abort();
    }
    if (const std::optional<std::string> version = DecodeDmssVersion(packet)) {
        if (version->size() + 2 > packet.size())
            std::abort();
    }
    DecodeDmssNak(packet);
    DecodeDmssParameters(packet);
    DecodeDmssBootBlock(packet);
    return 0;
}
