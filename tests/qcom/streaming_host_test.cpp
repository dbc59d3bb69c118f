// The host's side of streaming download against a programmer played by the test at packet level:
// what it says in which order, what it takes from the programmer's hello, the partition table's
// override rule, the pipelined writes, and every way a programmer can fail it.
#include <gtest/gtest.h>

#include <map>
#include <numeric>

#include "qcom/streaming_host.h"
#include "qcom/streaming_protocol.h"
#include "tests/qcom/fake_packet_link.h"
#include "tests/support/hex.h"

namespace fendrel::qcom {
namespace {

namespace st = streaming;
using fendrel::testing::HexBytes;
using platform::Milliseconds;
using testing::FakePacketLink;

constexpr std::uint8_t kMultiImage = st::kFeatureUncompressed | st::kFeatureMultiImage;

// A programmer that answers every request at once, as told.
class Programmer {
  public:
    explicit Programmer(FakePacketLink& link) : link_(link) {
        hello.version = 6;
        hello.lowest_compatible_version = 3;
        hello.features = kMultiImage;
        hello.block_size = 4096;
        hello.window = 4;
        hello.flash_name = "NAND 512MiB";
        hello.sector_sizes = {0x20000};
        link.phone = [this](const Packet& request) { Answer(request); };
    }

    StreamingHello hello;
    int silent_hellos = 0;  // hellos that go unanswered first
    std::uint8_t table_answer = st::kTableAccepted;
    std::uint8_t table_answer_with_override = st::kTableDiffers;
    int error_at_block = -1;  // an error packet instead of this block's answer
    bool chatty = false;      // a log packet before every answer
    std::uint32_t answer_address_offset = 0;

    std::map<std::uint32_t, Packet> blocks;
    std::size_t most_on_the_way = 0;

  private:
    void Send(Packet packet) {
        if (chatty)
            link_.Reply(EncodeStreamingLog("working"));
        link_.Reply(std::move(packet));
    }
    void Answer(const Packet& request) {
        switch (request[0]) {
            case st::kHello:
                if (silent_hellos > 0)
                    --silent_hellos;
                else
                    Send(EncodeHelloReply(hello));
                break;
            case st::kSecurityMode:
                Send({st::kSecurityModeReceived});
                break;
            case st::kPartitionTable:
                Send(EncodeStatusReply(st::kPartitionTableReceived, request[1] == 1
                                                                        ? table_answer_with_override
                                                                        : table_answer));
                break;
            case st::kStreamWrite: {
                const auto write = DecodeStreamWriteRequest(request);
                ASSERT_TRUE(write);
                const int index = static_cast<int>(blocks.size());
                blocks[write->address].assign(write->data.begin(), write->data.end());
                const auto answered =
                    static_cast<std::size_t>(link_.taken_by_code[st::kBlockWritten]);
                most_on_the_way = std::max(most_on_the_way, blocks.size() - answered);
                if (index == error_at_block)
                    Send(EncodeStreamingError(st::kErrorVerifyFailed, "verify failed"));
                else
                    Send(EncodeBlockWritten(write->address + answer_address_offset));
                break;
            }
            case st::kClose:
                Send({st::kClosed});
                break;
            default:
                break;
        }
    }

    FakePacketLink& link_;
};

struct Rig {
    platform::VirtualClock clock;
    FakePacketLink link{clock};
    Programmer programmer{link};
    StreamingHost host{link, clock};
};

Packet Pattern(std::size_t size) {
    Packet data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
    return data;
}

TEST(StreamingHost, HelloMatchesTheReferenceFrameAndTakesTheProgrammersTerms) {
    // The hello of version 7, lowest compatible 5, features 9, as the reference computed it.
    EXPECT_EQ(EncodeFrame(EncodeStreamingHello(7, 5, 9)),
              HexBytes("7e 01 51 43 4f 4d 20 66 61 73 74 20 64 6f 77 6e 6c 6f 61 64 20 70 72 6f "
                       "74 6f 63 6f 6c 20 68 6f 73 74 07 05 09 77 05 7e"));

    Rig rig;
    rig.programmer.silent_hellos = 2;  // still starting after GO
    ASSERT_EQ(rig.host.Hello(kMultiImage), DMSS_SUCCESS);
    EXPECT_EQ(rig.link.SentWith(st::kHello).size(), 3u);
    EXPECT_EQ(rig.clock.Now(), 2 * StreamingHost::kReplyTimeout);
    EXPECT_EQ(rig.host.block_size(), 4096u);
    EXPECT_EQ(rig.host.window(), 4u);
    EXPECT_EQ(rig.host.phone().flash_name, "NAND 512MiB");
    EXPECT_EQ(rig.host.phone().sector_sizes, std::vector<std::uint32_t>{0x20000});
    const auto sent = DecodeHelloRequest(rig.link.sent.front());
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->version, StreamingHost::kVersion);
    EXPECT_EQ(sent->features, kMultiImage);
}

TEST(StreamingHost, HelloRefusesAProgrammerThatDoesNotFit) {
    struct Case {
        const char* name;
        std::uint8_t version, lowest;
        std::uint8_t features;
        int silent;
        DL_RET_E_TYPE expected;
    };
    const Case cases[] = {
        {"too old", 1, 1, kMultiImage, 0, DMSS_REJECTED},
        {"too new", 9, 6, kMultiImage, 0, DMSS_REJECTED},
        {"no multi-image", 5, 2, st::kFeatureUncompressed, 0, DMSS_REJECTED},
        {"never answers", 5, 2, kMultiImage, StreamingHost::kHelloAttempts, DMSS_TIMEOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.programmer.hello.version = c.version;
        rig.programmer.hello.lowest_compatible_version = c.lowest;
        rig.programmer.hello.features = c.features;
        rig.programmer.silent_hellos = c.silent;
        EXPECT_EQ(rig.host.Hello(kMultiImage), c.expected);
        EXPECT_LE(rig.clock.Now(), StreamingHost::kHelloAttempts * StreamingHost::kReplyTimeout);
    }
}

TEST(StreamingHost, BlockAndWindowStayWithinTheHostsLimits) {
    for (const auto& [named_block, named_window, block, window] :
         {std::tuple<std::uint32_t, std::uint16_t, std::size_t, std::size_t>{0, 0, 1024, 1},
          {1 << 20, 1000, StreamingHost::kLargestBlock, StreamingHost::kLargestWindow}}) {
        Rig rig;
        rig.programmer.hello.block_size = named_block;
        rig.programmer.hello.window = named_window;
        ASSERT_EQ(rig.host.Hello(kMultiImage), DMSS_SUCCESS);
        EXPECT_EQ(rig.host.block_size(), block);
        EXPECT_EQ(rig.host.window(), window);
    }
}

TEST(StreamingHost, APartitionTableThatDiffersIsOverriddenOnlyWhenErasingWasAsked) {
    const Packet table = Pattern(300);
    struct Case {
        const char* name;
        std::uint8_t plain, with_override;
        bool may_override;
        DL_RET_E_TYPE expected;
        std::size_t requests;
    };
    const Case cases[] = {
        {"the same table", st::kTableAccepted, st::kTableAccepted, false, DMSS_SUCCESS, 1},
        {"differs, no erase", st::kTableDiffers, st::kTableDiffers, false, DMSS_REJECTED, 1},
        {"differs, erase asked", st::kTableDiffers, st::kTableDiffers, true, DMSS_SUCCESS, 2},
        {"differs, override fails", st::kTableDiffers, st::kTableEraseFailed, true, DMSS_REJECTED,
         2},
        {"not recognised", st::kTableNotRecognised, st::kTableAccepted, true, DMSS_REJECTED, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.programmer.table_answer = c.plain;
        rig.programmer.table_answer_with_override = c.with_override;
        EXPECT_EQ(rig.host.PartitionTable(table, c.may_override), c.expected);
        const std::vector<Packet> requests = rig.link.SentWith(st::kPartitionTable);
        ASSERT_EQ(requests.size(), c.requests);
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const auto request = DecodePartitionTableRequest(requests[i]);
            ASSERT_TRUE(request);
            EXPECT_EQ(request->override_table, i == 1);
            EXPECT_EQ(Packet(request->table.begin(), request->table.end()), table);
        }
    }
}

TEST(StreamingHost, WritesInTheProgrammersBlocksWithinItsWindow) {
    Rig rig;
    rig.programmer.chatty = true;  // log packets between answers are passed over
    ASSERT_EQ(rig.host.Hello(kMultiImage), DMSS_SUCCESS);
    const Packet data = Pattern(10 * 4096 + 100);
    std::vector<std::size_t> progress;
    ASSERT_EQ(rig.host.StreamWrite(data, [&](std::size_t written) { progress.push_back(written); }),
              DMSS_SUCCESS);
    EXPECT_EQ(rig.host.last_log(), "working");

    Packet written;
    for (const auto& [address, block] : rig.programmer.blocks) {
        EXPECT_EQ(address, written.size());
        EXPECT_LE(block.size(), 4096u);
        written.insert(written.end(), block.begin(), block.end());
    }
    EXPECT_EQ(written, data);
    EXPECT_EQ(rig.programmer.blocks.size(), 11u);
    EXPECT_EQ(rig.programmer.most_on_the_way, 4u);
    ASSERT_EQ(progress.size(), 11u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), data.size());
}

TEST(StreamingHost, AWriteFromASourceAsksForEachBlockOnceAndEndsWhenItHasNone) {
    const Packet data = Pattern(6 * 4096 + 100);
    for (const std::size_t fails_at : {data.size(), std::size_t{2 * 4096}}) {
        SCOPED_TRACE(fails_at);
        Rig rig;
        ASSERT_EQ(rig.host.Hello(kMultiImage), DMSS_SUCCESS);
        std::vector<std::pair<std::size_t, std::size_t>> asked;
        const auto source = [&](std::size_t offset,
                                std::size_t length) -> std::span<const std::uint8_t> {
            asked.emplace_back(offset, length);
            if (offset >= fails_at)
                return {};
            return std::span(data).subspan(offset, length);
        };
        const bool fails = fails_at < data.size();
        EXPECT_EQ(rig.host.StreamWrite(data.size(), source, nullptr, 0x100),
                  fails ? DMSS_IO_FAILED : DMSS_SUCCESS);

        std::vector<std::pair<std::size_t, std::size_t>> expected;
        for (std::size_t offset = 0; offset <= std::min(fails_at, data.size() - 1); offset += 4096)
            expected.emplace_back(offset, std::min<std::size_t>(4096, data.size() - offset));
        EXPECT_EQ(asked, expected);
        // What the source gave went out at the first address on; nothing after what it lacked.
        std::size_t offset = 0;
        for (const auto& [address, block] : rig.programmer.blocks) {
            EXPECT_EQ(address, 0x100 + offset);
            EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin() + offset));
            offset += block.size();
        }
        EXPECT_EQ(offset, std::min(fails_at, data.size()));
    }
}

TEST(StreamingHost, AWriteEndsOnTheProgrammersErrorAWrongAnswerSilenceOrAStop) {
    struct Case {
        const char* name;
        int error_at_block;
        std::uint32_t address_offset;
        bool silent, stop, unplug;
        DL_RET_E_TYPE expected;
    };
    const Case cases[] = {
        {"error packet", 3, 0, false, false, false, DMSS_REJECTED},
        {"answer for another block", -1, 1, false, false, false, DMSS_BAD_REPLY},
        {"no answers", -1, 0, true, false, false, DMSS_TIMEOUT},
        {"stopped", -1, 0, false, true, false, DMSS_STOPPED},
        {"unplugged", -1, 0, false, false, true, DMSS_PORT_GONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_EQ(rig.host.Hello(kMultiImage), DMSS_SUCCESS);
        rig.programmer.error_at_block = c.error_at_block;
        rig.programmer.answer_address_offset = c.address_offset;
        if (c.silent)
            rig.link.phone = nullptr;
        rig.link.stopped = c.stop;
        rig.link.gone = c.unplug;
        const Milliseconds start = rig.clock.Now();
        EXPECT_EQ(rig.host.StreamWrite(Pattern(8 * 4096), nullptr), c.expected);
        EXPECT_LE(rig.clock.Now() - start, StreamingHost::kBlockTimeout);
        if (c.error_at_block >= 0) {
            ASSERT_TRUE(rig.host.last_error());
            EXPECT_EQ(rig.host.last_error()->code, st::kErrorVerifyFailed);
            EXPECT_EQ(rig.host.last_error()->text, "verify failed");
        }
    }
}

TEST(StreamingHost, AProgrammerThatKeepsLoggingIsGivenUpOnInTime) {
    Rig rig;
    rig.link.cost_per_packet = Milliseconds(10);  // as a real port would take
    rig.link.phone = [&](const Packet&) {
        for (int i = 0; i < 1000; ++i)
            rig.link.Reply(EncodeStreamingLog("still here"));
    };
    EXPECT_EQ(rig.host.SecurityMode(), DMSS_TIMEOUT);
    EXPECT_LT(rig.link.taken, 1000);
    EXPECT_LE(rig.clock.Now(), StreamingHost::kReplyTimeout + rig.link.cost_per_packet);
}

TEST(StreamingHost, CloseAndResetAndAPhoneThatLeavesAfterTheReset) {
    Rig rig;
    EXPECT_EQ(rig.host.OpenMultiImage(st::kImageAmss, HexBytes("01 02")), DMSS_TIMEOUT);
    rig.link.phone = [&](const Packet& request) {
        if (request[0] == st::kOpenMultiImage)
            rig.link.Reply(EncodeStatusReply(st::kOpenedMultiImage, st::kOpenPayloadRequired));
        if (request[0] == st::kClose)
            rig.link.Reply({st::kClosed});
        if (request[0] == st::kReset)
            rig.link.gone = true;
    };
    EXPECT_EQ(rig.host.OpenMultiImage(st::kImageAmss, {}), DMSS_REJECTED);
    EXPECT_EQ(rig.host.last_status(), st::kOpenPayloadRequired);
    EXPECT_EQ(rig.host.Close(), DMSS_SUCCESS);
    EXPECT_EQ(rig.host.Reset(), DMSS_SUCCESS);
    // A port that is gone before the reset goes out is no restart.
    EXPECT_EQ(rig.host.Reset(), DMSS_PORT_GONE);
}

}  // namespace
}  // namespace fendrel::qcom
