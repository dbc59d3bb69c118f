// The DMSS download packets a programmer's upload needs, against the reference's worked frames,
// and the reply decoders against packets that are not what they claim.
#include <gtest/gtest.h>

#include "qcom/dmss_packets.h"
#include "qcom/dmss_protocol.h"
#include "tests/support/hex.h"

namespace fendrel::qcom {
namespace {

using fendrel::testing::HexBytes;

TEST(DmssPackets, UploadRequestsMatchTheReference) {
    // GO to 0x20012000 and the header of a 256-byte write at 0x2002FE00, as the common
    // uploaders send them.
    EXPECT_EQ(EncodeFrame(EncodeDmssGo(0x20012000)), HexBytes("7e 05 20 01 20 00 9f 1f 7e"));
    const Packet data(0x100, 0xA5);
    const Packet write = EncodeDmssWrite(DmssWriteForm::k32Bit, 0x2002FE00, data);
    EXPECT_EQ(Packet(write.begin(), write.begin() + 7), HexBytes("0f 20 02 fe 00 01 00"));
    EXPECT_EQ(write.size(), 7u + 0x100);

    const Packet older = EncodeDmssWrite(DmssWriteForm::kOlder, 0x123456, HexBytes("01 02 03"));
    EXPECT_EQ(older, HexBytes("01 12 34 56 00 03 01 02 03"));
}

TEST(DmssPackets, WritesAndGoDecodeAsTheyWereMade) {
    for (const DmssWriteForm form : {DmssWriteForm::k32Bit, DmssWriteForm::kOlder}) {
        const Packet data = HexBytes("7e 7d 00 ff");
        const Packet packet = EncodeDmssWrite(form, 0x00ABCDEF, data);
        const std::optional<DmssWrite> write = DecodeDmssWrite(packet);
        ASSERT_TRUE(write);
        EXPECT_EQ(write->form, form);
        EXPECT_EQ(write->address, 0x00ABCDEFu);
        EXPECT_EQ(Packet(write->data.begin(), write->data.end()), data);
    }
    EXPECT_EQ(DecodeDmssGo(EncodeDmssGo(0xDEADBEEF)), 0xDEADBEEFu);
}

TEST(DmssPackets, DecodersRefuseWhatIsNotTheirs) {
    struct Case {
        const char* name;
        const char* hex;
    };
    const Case writes[] = {
        {"length beyond the data", "0f 00 00 00 00 00 04 01 02 03"},
        {"length short of the data", "0f 00 00 00 00 00 01 01 02"},
        {"header cut short", "0f 00 00 00"},
        {"older form cut short", "01 00 00"},
        {"another command", "05 00 00 00 00"},
    };
    for (const Case& c : writes)
        EXPECT_FALSE(DecodeDmssWrite(HexBytes(c.hex))) << c.name;

    EXPECT_FALSE(DecodeDmssGo(HexBytes("05 00 00 00")));
    EXPECT_FALSE(DecodeDmssGo(HexBytes("05 00 00 00 00 00")));
    EXPECT_EQ(DecodeDmssNak(HexBytes("03 00 06")), dmss::kInvalidCommand);
    EXPECT_FALSE(DecodeDmssNak(HexBytes("03 00")));
    EXPECT_FALSE(DecodeDmssNak(HexBytes("02 00 06")));
    EXPECT_FALSE(DecodeDmssParameters(HexBytes("08 08 01 04 00 50 05")));
    const auto parameters = DecodeDmssParameters(HexBytes("08 08 01 04 00 50 05 00"));
    ASSERT_TRUE(parameters);
    EXPECT_EQ(parameters->largest_write, 0x400);
    EXPECT_EQ(DecodeDmssVersion(HexBytes("0d 03 41 42 43 44")), "ABC");
    EXPECT_FALSE(DecodeDmssVersion(HexBytes("0d 05 41 42")));
    EXPECT_FALSE(DecodeDmssVersion(HexBytes("0d")));
    EXPECT_FALSE(DecodeDmssBootBlock(HexBytes("52 10 00 00 01")));
}

}  // namespace
}  // namespace fendrel::qcom
