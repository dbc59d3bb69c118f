// Sahara: the packets against the reference's bytes, and the host's upload against a loader in
// the test: a HELLO seen or missed, command mode, both read forms, a programmer refused, a phone
// that falls silent or sends nonsense, a programmer that runs already, and a stop mid-answer.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "platform/byte_order.h"
#include "qcom/sahara_host.h"
#include "qcom/sahara_protocol.h"
#include "tests/qcom/fake_link.h"
#include "tests/support/hex.h"

namespace fendrel::qcom {
namespace {

using namespace sahara;
using testing::Bytes;
using testing::FakeLink;

Bytes Hex(const std::string& text) {
    return fendrel::testing::HexBytes(text);
}

// The reference's packets (HELLO_RESP in the form hosts send, mode 0, its reserved words zero).
TEST(SaharaPackets, MatchTheReferenceBytes) {
    Bytes hello_response =
        Hex("02 00 00 00 30 00 00 00 02 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00");
    hello_response.resize(0x30, 0);
    const std::pair<Packet, Bytes> cases[] = {
        {HelloResponse{}, hello_response},
        {ReadData{0x0D, 0, 0x34, false},
         Hex("03 00 00 00 14 00 00 00 0d 00 00 00 00 00 00 00 34 00 00 00")},
        {EndOfImage{0x0D, 0}, Hex("04 00 00 00 10 00 00 00 0d 00 00 00 00 00 00 00")},
        {Done{}, Hex("05 00 00 00 08 00 00 00")},
        {DoneResponse{1}, Hex("06 00 00 00 0c 00 00 00 01 00 00 00")},
        {Reset{}, Hex("07 00 00 00 08 00 00 00")},
        {ResetResponse{}, Hex("08 00 00 00 08 00 00 00")},
    };
    for (const auto& [packet, bytes] : cases) {
        EXPECT_EQ(Encode(packet), bytes) << NameOf(packet);
        const Decoded decoded = Decode(bytes);
        ASSERT_TRUE(decoded.packet) << decoded.error;
        EXPECT_EQ(*decoded.packet, packet) << NameOf(packet);
    }
}

TEST(SaharaPackets, EveryPacketComesBackFromItsBytes) {
    const Packet packets[] = {
        Hello{2, 1, 0x400, kImageTransferPending},
        HelloResponse{2, 1, 0, kCommandMode},
        ReadData{0x0D, 0x1234, 0x1000, false},
        ReadData{0x0D, 0x1'0000'0000, 0x2000, true},
        EndOfImage{0x0D, kStatusInvalidElfHeader},
        Done{},
        DoneResponse{0},
        Reset{},
        ResetResponse{},
        MemoryDebug{0x8000, 0x100, false},
        MemoryDebug{0x1'0000'8000, 0x100, true},
        CommandReady{},
        SwitchMode{kImageTransferPending},
        Execute{kExecuteSerialNumberRead},
        ExecuteResponse{kExecuteSerialNumberRead, 4},
        ExecuteData{kExecuteSerialNumberRead},
        ResetStateMachine{},
    };
    for (const Packet& packet : packets) {
        const Bytes bytes = Encode(packet);
        EXPECT_EQ(PacketLength(bytes), bytes.size()) << NameOf(packet);
        const Decoded decoded = Decode(bytes);
        ASSERT_TRUE(decoded.packet) << NameOf(packet) << ": " << decoded.error;
        EXPECT_EQ(*decoded.packet, packet) << NameOf(packet);
    }
}

TEST(SaharaPackets, MalformedPacketsAreRefusedSayingWhy) {
    const std::pair<std::string, const char*> cases[] = {
        {"05 00 00 00 0c 00 00 00 00 00 00 00", "DONE of 12 bytes"},
        {"03 00 00 00 14 00 00 00 0d 00 00 00", "READ_DATA of 20 bytes"},  // cut short
        {"99 00 00 00 08 00 00 00", "unknown command 153"},
        {"0a 00 00 00 10 00 00 00 00 00 00 00 00 00 00 00", "unknown command 10"},
        {"06 00 00", "a packet of 3 bytes"},
    };
    for (const auto& [hex, why] : cases) {
        const Decoded decoded = Decode(Hex(hex));
        EXPECT_FALSE(decoded.packet) << hex;
        EXPECT_NE(decoded.error.find(why), std::string::npos) << decoded.error;
    }
    // A header that gives its packet no bytes at all never passes for a packet.
    EXPECT_FALSE(PacketLength(Hex("01 00 00 00 00 00 00 00 63 00 00 00")));

    // Some phones send CMD_READY with a word more.
    const Decoded longer = Decode(Hex("0b 00 00 00 0c 00 00 00 00 00 00 00"));
    ASSERT_TRUE(longer.packet) << longer.error;
    EXPECT_TRUE(std::holds_alternative<CommandReady>(*longer.packet));
}

// A boot ROM's loader in the test: it asks for the programmer in the pieces of `reads` and
// puts together what it gets.
class Loader {
  public:
    Loader(FakeLink& link, std::vector<ReadData> reads) : link_(link), reads_(std::move(reads)) {
        link_.phone = [this](std::span<const std::uint8_t> bytes) { Take(bytes); };
    }

    void SayHello(std::uint32_t mode = kImageTransferPending) {
        link_.Send(Encode(Hello{2, 1, 0x400, mode}));
    }

    std::uint32_t end_status = kStatusSuccess;
    std::map<std::uint64_t, Bytes> pieces;  // offset: bytes received
    std::vector<std::string> heard;         // the host's packets, by name
    bool silent = false;
    // Its HELLO is on the way when the first HELLO_RESP comes, which it takes as the answer.
    bool hello_in_flight = false;
    // It drops the first HELLO_RESP and says HELLO again, as after a restart.
    bool starts_over = false;

  private:
    void Take(std::span<const std::uint8_t> bytes) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        while (!silent) {
            if (awaiting_ > 0) {
                if (pending_.size() < awaiting_)
                    return;
                pieces[reads_[next_ - 1].offset] = Bytes(
                    pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(awaiting_));
                pending_.erase(pending_.begin(),
                               pending_.begin() + static_cast<std::ptrdiff_t>(awaiting_));
                awaiting_ = 0;
                AskNext();
                continue;
            }
            if (pending_.size() < kHeaderBytes)
                return;
            const std::size_t length = platform::LoadLe32(pending_.data() + 4);
            if (pending_.size() < length)
                return;
            const Decoded decoded = Decode(std::span(pending_).first(length));
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(length));
            ASSERT_TRUE(decoded.packet) << decoded.error;
            heard.push_back(NameOf(*decoded.packet));
            if (const auto* answer = std::get_if<HelloResponse>(&*decoded.packet)) {
                if (std::exchange(hello_in_flight, false))
                    SayHello();
                if (answer->mode == kCommandMode)
                    link_.Send(Encode(CommandReady{}));
                else if (std::exchange(starts_over, false))
                    SayHello();
                else
                    AskNext();
            } else if (const auto* mode = std::get_if<SwitchMode>(&*decoded.packet)) {
                link_.Send(Encode(Hello{2, 1, 0x400, mode->mode}));
            } else if (std::holds_alternative<Done>(*decoded.packet)) {
                link_.Send(Encode(DoneResponse{1}));
            } else if (std::holds_alternative<Reset>(*decoded.packet)) {
                link_.Send(Encode(ResetResponse{}));
            }
        }
    }

    void AskNext() {
        if (next_ == reads_.size()) {
            link_.Send(Encode(EndOfImage{kFirehoseProgrammerImage, end_status}));
            return;
        }
        awaiting_ = static_cast<std::size_t>(reads_[next_].length);
        link_.Send(Encode(reads_[next_++]));
    }

    FakeLink& link_;
    std::vector<ReadData> reads_;
    std::size_t next_ = 0;
    std::size_t awaiting_ = 0;
    Bytes pending_;
};

class SaharaUpload : public ::testing::Test {
  protected:
    SaharaUpload() : link(clock), buffer(link, clock) {
        for (std::size_t i = 0; i < programmer.size(); ++i)
            programmer[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }

    // The programmer asked for as an ELF header, then the rest in two pieces, out of order.
    std::vector<ReadData> Reads(bool wide = false) const {
        return {{kFirehoseProgrammerImage, 0, 0x34, wide},
                {kFirehoseProgrammerImage, 0x1000, programmer.size() - 0x1000, wide},
                {kFirehoseProgrammerImage, 0x34, 0x1000 - 0x34, wide}};
    }

    SaharaOutcome Upload() {
        SaharaHost host(buffer);
        return host.Upload(programmer, [this](std::uint64_t sent, std::uint64_t total) {
            progress.emplace_back(sent, total);
        });
    }

    void ExpectWhole(const Loader& loader) const {
        Bytes whole;
        for (const auto& [offset, bytes] : loader.pieces) {
            EXPECT_EQ(offset, whole.size());
            whole.insert(whole.end(), bytes.begin(), bytes.end());
        }
        EXPECT_EQ(whole, programmer);
    }

    platform::VirtualClock clock;
    FakeLink link;
    LinkBuffer buffer;
    Bytes programmer = Bytes(0x2400);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

TEST_F(SaharaUpload, AnswersAHelloAndSendsTheProgrammer) {
    for (const bool wide : {false, true}) {
        FakeLink fresh(clock);
        LinkBuffer fresh_buffer(fresh, clock);
        Loader loader(fresh, Reads(wide));
        loader.SayHello();
        progress.clear();
        const SaharaOutcome outcome =
            SaharaHost(fresh_buffer)
                .Upload(programmer, [this](std::uint64_t sent, std::uint64_t total) {
                    progress.emplace_back(sent, total);
                });
        EXPECT_EQ(outcome.result, SaharaResult::kUploaded) << outcome.error;
        EXPECT_EQ(outcome.sent, programmer.size());
        ExpectWhole(loader);
        EXPECT_EQ(loader.heard, (std::vector<std::string>{"HELLO_RESP", "DONE"}));
        EXPECT_EQ(progress, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                                {0x34, 0x2400}, {0x1434, 0x2400}, {0x2400, 0x2400}}));
    }
}

TEST_F(SaharaUpload, AnswersAHelloItNeverSaw) {
    Loader loader(link, Reads());  // its HELLO went before the port was opened
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kUploaded) << outcome.error;
    ExpectWhole(loader);
    EXPECT_EQ(loader.heard, (std::vector<std::string>{"HELLO_RESP", "DONE"}));
    EXPECT_EQ(clock.Now(), SaharaHost::kHelloWait);
}

// A HELLO after the blind answer: one that crossed it must not be answered again (the second
// HELLO_RESP would reach the loader as programmer bytes), one from a phone that started over must.
TEST_F(SaharaUpload, AHelloAfterTheBlindAnswerIsAnsweredOnlyWhenNothingElseFollows) {
    struct Case {
        bool crossed;
        std::vector<std::string> heard;
        platform::Milliseconds took;
    };
    const Case cases[] = {
        {true, {"HELLO_RESP", "DONE"}, SaharaHost::kHelloWait},
        {false,
         {"HELLO_RESP", "HELLO_RESP", "DONE"},
         SaharaHost::kHelloWait + SaharaHost::kLateHelloWindow},
    };
    for (const Case& c : cases) {
        platform::VirtualClock fresh_clock;
        FakeLink fresh(fresh_clock);
        LinkBuffer fresh_buffer(fresh, fresh_clock);
        Loader loader(fresh, Reads());
        loader.hello_in_flight = c.crossed;
        loader.starts_over = !c.crossed;
        const SaharaOutcome outcome = SaharaHost(fresh_buffer).Upload(programmer, {});
        EXPECT_EQ(outcome.result, SaharaResult::kUploaded) << outcome.error;
        ExpectWhole(loader);
        EXPECT_EQ(loader.heard, c.heard) << "crossed: " << c.crossed;
        EXPECT_EQ(fresh_clock.Now(), c.took) << "crossed: " << c.crossed;
    }
}

TEST_F(SaharaUpload, SwitchesAPhoneInCommandModeToTheTransfer) {
    Loader loader(link, Reads());
    loader.SayHello(kCommandMode);
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kUploaded) << outcome.error;
    ExpectWhole(loader);
    EXPECT_EQ(loader.heard,
              (std::vector<std::string>{"HELLO_RESP", "SWITCH_MODE", "HELLO_RESP", "DONE"}));
}

TEST_F(SaharaUpload, APhoneThatRefusesTheProgrammerSaysWithWhichStatus) {
    Loader loader(link, Reads());
    loader.end_status = kStatusImageAuthenticationFailure;
    loader.SayHello();
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kRefused);
    EXPECT_EQ(outcome.phone_status, kStatusImageAuthenticationFailure);
    EXPECT_EQ(outcome.sent, programmer.size());
    EXPECT_EQ(outcome.error, "the phone refused the programmer (status 37)");
}

TEST_F(SaharaUpload, BadRequestsAndNonsenseEndTheUpload) {
    struct Case {
        std::vector<ReadData> reads;
        Bytes after_hello;  // sent instead of reads when not empty
        const char* error;
    };
    const Case cases[] = {
        {{{kFirehoseProgrammerImage, 0x2000, 0x401, false}},
         {},
         "the phone asked for 1025 bytes at 8192 of a 9216-byte programmer"},
        {{{kFirehoseProgrammerImage, 0, 0x10, false}, {7, 0x10, 0x10, false}},
         {},
         "the phone asked for image 7 after image 13"},
        {{}, Encode(Reset{}), "an unexpected RESET from the phone"},
        {{}, Hex("04 00 00 00 20 00 00 00"), "a malformed packet: END_OF_IMAGE_TX of 32 bytes"},
        {{}, Hex("77 00 00 00 08 00 00 00"), "a malformed packet: an unknown command 119"},
    };
    for (const Case& c : cases) {
        FakeLink fresh(clock);
        LinkBuffer fresh_buffer(fresh, clock);
        Loader loader(fresh, c.reads);
        if (!c.after_hello.empty()) {
            loader.silent = true;
            fresh.Send(c.after_hello);
        }
        const SaharaOutcome outcome = SaharaHost(fresh_buffer).Upload(programmer, {});
        EXPECT_EQ(outcome.result, SaharaResult::kProtocolError) << c.error;
        EXPECT_EQ(outcome.error, c.error);
    }
}

TEST_F(SaharaUpload, ASilentPhoneIsGreetedProbedAndGivenUp) {
    Loader loader(link, Reads());
    loader.silent = true;
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kTimeout);
    EXPECT_EQ(outcome.error, "the phone did not answer when greeted");
    const Bytes greeting = Encode(HelloResponse{});
    ASSERT_GT(link.written.size(), greeting.size());
    EXPECT_TRUE(std::equal(greeting.begin(), greeting.end(), link.written.begin()));
    const std::string probe(link.written.begin() + static_cast<std::ptrdiff_t>(greeting.size()),
                            link.written.end());
    EXPECT_EQ(probe, "<?xml version=\"1.0\" ?><data><nop /></data>");
    EXPECT_EQ(clock.Now(), SaharaHost::kHelloWait + 2 * SaharaHost::kPacketTimeout);
}

TEST_F(SaharaUpload, AProgrammerThatRunsAlreadyIsLeftItsBytes) {
    link.Send("<?xml version=\"1.0\" ?><data><log value=\"hello\" /></data>");
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kProgrammerRunning);
    EXPECT_EQ(std::string(buffer.bytes().begin(), buffer.bytes().end()),
              "<?xml version=\"1.0\" ?><data><log value=\"hello\" /></data>");
    EXPECT_TRUE(link.written.empty());
}

TEST_F(SaharaUpload, AStopMidAnswerFinishesTheUploadSoTheProgrammerRuns) {
    Loader loader(link, Reads());
    loader.SayHello();
    link.stop_at_write = 3;  // HELLO_RESP, the header, then the big piece is cut
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kStopped);
    EXPECT_TRUE(link.stoppable());
    // Nothing the loader took was out of place: it has the whole image, and its DONE.
    ExpectWhole(loader);
    EXPECT_EQ(loader.heard, (std::vector<std::string>{"HELLO_RESP", "DONE"}));
}

TEST_F(SaharaUpload, APhoneThatLeavesEndsTheUpload) {
    Loader loader(link, Reads());
    loader.SayHello();
    link.gone_at_write = 2;
    const SaharaOutcome outcome = Upload();
    EXPECT_EQ(outcome.result, SaharaResult::kGone);
    EXPECT_EQ(outcome.error, "the phone left the bus while taking the programmer");
}

}  // namespace
}  // namespace fendrel::qcom
