// The NOR programmer's commands: the checksum both sides compute, the layout's offsets, and the
// station's side against a programmer that answers right, wrong or with an error.
#include <gtest/gtest.h>

#include "qcom/nor_commands.h"
#include "qcom/streaming_protocol.h"
#include "tests/qcom/fake_packet_link.h"
#include "tests/support/hex.h"

namespace fendrel::qcom {
namespace {

using fendrel::testing::HexBytes;
using nor::Region;
using testing::FakePacketLink;

TEST(NorCommands, TheChecksumAddsWordsAndFillsALastPartialWordAsErasedFlash) {
    EXPECT_EQ(NorChecksum({}), 0u);
    EXPECT_EQ(NorChecksum(HexBytes("01 00 00 00 02 00 00 00")), 3u);
    EXPECT_EQ(NorChecksum(HexBytes("01 00 00 00 02")), 1u + 0xFFFFFF02u);
    EXPECT_EQ(NorChecksum(HexBytes("ff ff ff ff 02 00 00 00")), 1u);  // wraps at 32 bits
}

TEST(NorCommands, RegionsFollowEachOtherInTheFlash) {
    NorLayout layout;
    layout.sizes = {0x10000, 0x30000, 0x1000, 0x200000};
    EXPECT_EQ(layout.offset(Region::kBoot), 0u);
    EXPECT_EQ(layout.offset(Region::kEfs), 0x10000u);
    EXPECT_EQ(layout.offset(Region::kChecksum), 0x40000u);
    EXPECT_EQ(layout.offset(Region::kApp), 0x41000u);
    EXPECT_EQ(layout.size(Region::kApp), 0x200000u);
    EXPECT_EQ(DecodeNorLayout(EncodeNorLayout(layout))->sizes, layout.sizes);
}

TEST(NorCommands, TheStationsRequestsAndWhatItTakesAsTheirAnswers) {
    platform::VirtualClock clock;
    FakePacketLink link(clock);
    StreamingHost host(link, clock);
    NorLayout layout;
    layout.sizes = {0x10000, 0x30000, 0x1000, 0x200000};
    Packet answer;
    link.phone = [&](const Packet&) { link.Reply(answer); };

    answer = EncodeNorLayout(layout);
    NorLayout got;
    ASSERT_EQ(SetNorBootBlockInfo(host, 0x8000, got), DMSS_SUCCESS);
    EXPECT_EQ(got.sizes, layout.sizes);
    EXPECT_EQ(DecodeNorBootBlockInfo(link.sent.back()), 0x8000u);

    answer = EncodeNorErased(Region::kEfs, 0x20000);
    EXPECT_EQ(EraseNor(host, Region::kEfs, 0x20000, 0x10000), DMSS_SUCCESS);
    const auto erase = DecodeNorErase(link.sent.back());
    ASSERT_TRUE(erase);
    EXPECT_EQ(erase->region, Region::kEfs);
    EXPECT_EQ(erase->offset, 0x20000u);
    EXPECT_EQ(erase->length, 0x10000u);
    // An answer for another range is no answer to this one.
    EXPECT_EQ(EraseNor(host, Region::kEfs, 0x30000, 0x10000), DMSS_BAD_REPLY);

    answer = EncodeNorRegionOpened(Region::kApp);
    EXPECT_EQ(OpenNorRegion(host, Region::kApp), DMSS_SUCCESS);
    EXPECT_EQ(DecodeNorOpenRegion(link.sent.back()), Region::kApp);
    EXPECT_EQ(OpenNorRegion(host, Region::kBoot), DMSS_BAD_REPLY);

    answer = EncodeStreamingError(streaming::kErrorVerifyFailed, "checksum");
    EXPECT_EQ(WriteNorChecksum(host, 0x1234, 0x100), DMSS_REJECTED);
    const auto checksum = DecodeNorChecksum(link.sent.back());
    ASSERT_TRUE(checksum);
    EXPECT_EQ(checksum->sum, 0x1234u);
    EXPECT_EQ(checksum->length, 0x100u);
    answer = Packet{nor::kLayout, 1, 2};  // too short for a layout
    EXPECT_EQ(SetNorBootBlockInfo(host, 0x8000, got), DMSS_BAD_REPLY);
}

TEST(NorCommands, RequestDecodersRefuseMalformedPackets) {
    EXPECT_FALSE(DecodeNorErase(HexBytes("42 05 00 00 00 00 00 00 00 00")));  // no such region
    EXPECT_FALSE(DecodeNorErase(HexBytes("42 01 00 00 00 00 00 00 00")));
    EXPECT_FALSE(DecodeNorOpenRegion(HexBytes("44 00")));
    EXPECT_FALSE(DecodeNorChecksum(HexBytes("46 00 00 00 00 00 00 00")));
    EXPECT_FALSE(DecodeNorBootBlockInfo(HexBytes("40 00 00 00 00 00")));
}

}  // namespace
}  // namespace fendrel::qcom
