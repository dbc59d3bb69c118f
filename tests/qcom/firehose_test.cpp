// Firehose: documents found in a stream cut anywhere, and the host's commands against a
// programmer in the test: the payload size negotiated, data in pieces, raw data that arrives
// with its response, digests, patches, NAKs with their reasons, a stop mid-program and a phone
// that leaves on reset.
#include <gtest/gtest.h>

#include <map>

#include "qcom/firehose_client.h"
#include "qcom/firehose_protocol.h"
#include "tests/qcom/fake_link.h"

namespace fendrel::qcom {
namespace {

using firehose::Element;
using firehose::Scan;
using firehose::ScanDocument;
using testing::Bytes;
using testing::BytesOf;
using testing::FakeLink;

constexpr const char* kAckDocument =
    "<?xml version=\"1.0\" ?><data><response value=\"ACK\" /></data>";

TEST(FirehoseDocuments, AreFoundAtTheFrontOfAStream) {
    const std::string log =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<data><log value=\"a &lt; b\"/></data>";
    struct Case {
        std::string stream;
        Scan::Kind kind;
        std::size_t consumed;
        std::vector<Element> elements;
    };
    const Case cases[] = {
        {log, Scan::Kind::kDocument, log.size(), {{"log", {{"value", "a < b"}}}}},
        {"\x7e\x01noise" + log + "tail",
         Scan::Kind::kDocument,
         7 + log.size(),
         {{"log", {{"value", "a < b"}}}}},
        {std::string("<data><response value=\"ACK\" rawmode=\"true\"/></data>") + "\x00\x01<?xml",
         Scan::Kind::kDocument,
         51,
         {{"response", {{"value", "ACK"}, {"rawmode", "true"}}}}},
        {log.substr(0, 30), Scan::Kind::kNeedMore, 0, {}},
        {"noise<?x", Scan::Kind::kNeedMore, 5, {}},
        {"noise<da", Scan::Kind::kNeedMore, 5, {}},
        {"noise", Scan::Kind::kNeedMore, 5, {}},
        {"<?xml version=\"1.0\" ?><data><log value=\"x\"></data>", Scan::Kind::kMalformed, 50, {}},
        {"<?xml version=\"1.0\" ?><other/></data>", Scan::Kind::kMalformed, 37, {}},
    };
    for (const Case& c : cases) {
        const Bytes bytes = BytesOf(c.stream);
        const Scan scan = ScanDocument(bytes);
        EXPECT_EQ(scan.kind, c.kind) << c.stream;
        EXPECT_EQ(scan.consumed, c.consumed) << c.stream;
        EXPECT_EQ(scan.document.elements, c.elements) << c.stream;
    }
    const Bytes endless = BytesOf("<data>" + std::string(firehose::kMaxDocumentBytes, 'x'));
    const Scan scan = ScanDocument(endless);
    EXPECT_EQ(scan.kind, Scan::Kind::kMalformed);
    EXPECT_EQ(scan.consumed, endless.size());
}

TEST(FirehoseDocuments, ACommandsTextReadsBackAsIts) {
    const Element command{"program", {{"SECTOR_SIZE_IN_BYTES", "512"}, {"label", "a&b <\"c\">"}}};
    const std::string text = firehose::DocumentText(command);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" ?><data><program SECTOR_SIZE_IN_BYTES=\"512\" "
              "label=\"a&amp;b &lt;&quot;c&quot;&gt;\" /></data>");
    const Scan scan = ScanDocument(BytesOf(text));
    ASSERT_EQ(scan.kind, Scan::Kind::kDocument);
    EXPECT_EQ(scan.document.elements, std::vector<Element>{command});
}

// A programmer in the test: it answers commands as `answer` says and keeps what is programmed.
class Programmer {
  public:
    explicit Programmer(FakeLink& link) : link_(link) {
        link_.phone = [this](std::span<const std::uint8_t> bytes) { Take(bytes); };
    }

    // The answer to a command: documents to send (a function may add raw data).
    std::function<void(const Element&)> answer = [this](const Element& command) {
        if (command.name == "program")
            Respond("ACK", {{"rawmode", "true"}});
        else
            Respond("ACK");
    };

    void Respond(const std::string& value, firehose::Attributes more = {}) {
        raw_ack_ = value == "ACK" &&
                   std::find(more.begin(), more.end(),
                             std::pair<std::string, std::string>("rawmode", "true")) != more.end();
        more.insert(more.begin(), {"value", value});
        link_.Send(firehose::DocumentText({"response", more}));
    }
    void Log(const std::string& text) {
        link_.Send(firehose::DocumentText({"log", {{"value", text}}}));
    }

    std::vector<Element> commands;
    std::vector<std::size_t> pieces;  // sizes of the raw writes
    Bytes programmed;

  private:
    void Take(std::span<const std::uint8_t> bytes) {
        if (raw_left_ > 0) {
            pieces.push_back(bytes.size());
            programmed.insert(programmed.end(), bytes.begin(), bytes.end());
            raw_left_ -= std::min(raw_left_, bytes.size());
            if (raw_left_ == 0)
                Respond("ACK", {{"rawmode", "false"}});
            return;
        }
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        const Scan scan = ScanDocument(pending_);
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(scan.consumed));
        if (scan.kind != Scan::Kind::kDocument)
            return;
        const Element& command = scan.document.elements.at(0);
        commands.push_back(command);
        raw_ack_ = false;
        answer(command);
        if (command.name == "program" && raw_ack_) {
            raw_left_ = std::stoul(*command.Attribute("num_partition_sectors")) *
                        std::stoul(*command.Attribute("SECTOR_SIZE_IN_BYTES"));
        }
    }

    FakeLink& link_;
    Bytes pending_;
    std::size_t raw_left_ = 0;
    bool raw_ack_ = false;  // the last response opened raw mode
};

class FirehoseCommands : public ::testing::Test {
  protected:
    FirehoseCommands() : link(clock), buffer(link, clock), programmer(link), client(buffer) {}

    platform::VirtualClock clock;
    FakeLink link;
    LinkBuffer buffer;
    Programmer programmer;
    FirehoseClient client;
};

TEST_F(FirehoseCommands, ConfigureTakesThePhonesPieceSize) {
    programmer.answer = [this](const Element&) {
        programmer.Log("programmer ready");
        programmer.Respond("ACK", {{"MaxPayloadSizeToTargetInBytes", "49152"}});
    };
    ASSERT_TRUE(client.Configure("emmc", FirehoseClient::kWantedPayload).ok());
    EXPECT_EQ(client.payload(), 49152u);
    EXPECT_EQ(client.logs(), std::vector<std::string>{"programmer ready"});
    const Element& configure = programmer.commands.at(0);
    EXPECT_EQ(configure.name, "configure");
    EXPECT_EQ(*configure.Attribute("MemoryName"), "emmc");
    EXPECT_EQ(*configure.Attribute("MaxPayloadSizeToTargetInBytes"), "1048576");
}

TEST_F(FirehoseCommands, ConfigureAsksAgainForTheSizeANakNames) {
    programmer.answer = [this](const Element& command) {
        const bool small = *command.Attribute("MaxPayloadSizeToTargetInBytes") == "16384";
        programmer.Respond(small ? "ACK" : "NAK", {{"MaxPayloadSizeToTargetInBytes", "16384"}});
    };
    ASSERT_TRUE(client.Configure("emmc", FirehoseClient::kWantedPayload).ok());
    EXPECT_EQ(client.payload(), 16384u);
    EXPECT_EQ(programmer.commands.size(), 2u);
}

TEST_F(FirehoseCommands, ANakSaysWhyAndSilenceIsBounded) {
    programmer.answer = [this](const Element&) {
        programmer.Log("ERROR: Only nop and sig tag can be recevied before authentication");
        programmer.Respond("NAK");
    };
    FirehoseStatus status = client.Configure("emmc", FirehoseClient::kWantedPayload);
    EXPECT_EQ(status.result, FirehoseResult::kNak);
    EXPECT_EQ(
        status.detail,
        "configure refused: ERROR: Only nop and sig tag can be recevied before authentication");

    programmer.answer = [](const Element&) {};
    const platform::Milliseconds before = clock.Now();
    status = client.Configure("emmc", FirehoseClient::kWantedPayload);
    EXPECT_EQ(status.result, FirehoseResult::kTimeout);
    EXPECT_EQ(clock.Now() - before, FirehoseClient::kConfigureWindow);
}

TEST_F(FirehoseCommands, ConfigurePassesOverWhatAnEarlierRunLeft) {
    // The end of a program an earlier run stopped, then the answer to a probe, come late.
    int configures = 0;
    programmer.answer = [&](const Element& command) {
        if (command.name == "getstorageinfo") {
            programmer.Log("INFO: {\"storage_info\": {\"total_blocks\":77, \"block_size\":512}}");
            programmer.Respond("ACK");
            return;
        }
        if (++configures == 1) {
            programmer.Respond("ACK", {{"rawmode", "false"}});
            programmer.Log("ERROR: XML not formed correctly");
            programmer.Respond("NAK");
            return;
        }
        programmer.Respond("ACK", {{"MaxPayloadSizeToTargetInBytes", "8192"}});
    };
    ASSERT_TRUE(client.Configure("emmc", FirehoseClient::kWantedPayload).ok());
    EXPECT_EQ(client.payload(), 8192u);
    EXPECT_EQ(configures, 2);
    // Nothing of it is left for the next command: it reads its own answer.
    std::uint64_t sectors = 0;
    std::uint32_t sector_size = 0;
    ASSERT_TRUE(client.StorageSize(0, sectors, sector_size).ok());
    EXPECT_EQ(sectors, 77u);
}

TEST_F(FirehoseCommands, ProgramSendsTheDataInPiecesOfTheAgreedSize) {
    programmer.answer = [this](const Element& command) {
        if (command.name == "configure")
            programmer.Respond("ACK", {{"MaxPayloadSizeToTargetInBytes", "2048"}});
        else
            programmer.Respond("ACK", {{"rawmode", "true"}});
    };
    ASSERT_TRUE(client.Configure("emmc", 4096).ok());
    std::uint8_t next = 0;
    const FirehoseStatus status =
        client.Program({0, 512, 34, 9}, [&](std::span<std::uint8_t> piece) {
            for (std::uint8_t& byte : piece)
                byte = next++;
            return true;
        });
    ASSERT_TRUE(status.ok()) << status.detail;
    EXPECT_EQ(programmer.pieces, (std::vector<std::size_t>{2048, 2048, 512}));
    ASSERT_EQ(programmer.programmed.size(), 9u * 512);
    for (std::size_t i = 0; i < programmer.programmed.size(); ++i)
        ASSERT_EQ(programmer.programmed[i], static_cast<std::uint8_t>(i));
    const Element& program = programmer.commands.at(1);
    EXPECT_EQ(program.attributes, (firehose::Attributes{{"SECTOR_SIZE_IN_BYTES", "512"},
                                                        {"num_partition_sectors", "9"},
                                                        {"physical_partition_number", "0"},
                                                        {"start_sector", "34"}}));
}

TEST_F(FirehoseCommands, ARefusedProgramSendsNoData) {
    programmer.answer = [this](const Element& command) {
        if (command.name == "configure") {
            programmer.Respond("ACK");
            return;
        }
        programmer.Log("ERROR: start_sector past the end of the disk");
        programmer.Respond("NAK", {{"rawmode", "false"}});
    };
    ASSERT_TRUE(client.Configure("emmc", 4096).ok());
    const FirehoseStatus status =
        client.Program({0, 512, 1 << 30, 1}, [](std::span<std::uint8_t>) { return true; });
    EXPECT_EQ(status.result, FirehoseResult::kNak);
    EXPECT_EQ(status.detail, "program refused: ERROR: start_sector past the end of the disk");
    EXPECT_TRUE(programmer.pieces.empty());
}

TEST_F(FirehoseCommands, AStopMidProgramFinishesTheCommand) {
    ASSERT_TRUE(client.Configure("emmc", 1024).ok());
    link.stop_at_write = 4;  // configure, program, the first piece, then the second is cut
    int fills = 0;
    const FirehoseStatus status =
        client.Program({0, 512, 0, 8}, [&](std::span<std::uint8_t> piece) {
            std::fill(piece.begin(), piece.end(), static_cast<std::uint8_t>(++fills));
            return true;
        });
    EXPECT_EQ(status.result, FirehoseResult::kStopped);
    EXPECT_EQ(programmer.programmed.size(), 8u * 512);  // the phone got all it was promised
    EXPECT_EQ(fills, 4);
    EXPECT_TRUE(link.stoppable());
    // The final response was read, so nothing of the command is left for the next one.
    EXPECT_TRUE(buffer.bytes().empty());
}

TEST_F(FirehoseCommands, AStopBeforeTheFirstAnswerStillGivesTheCommandItsData) {
    ASSERT_TRUE(client.Configure("emmc", 1024).ok());
    programmer.answer = [this](const Element&) {
        programmer.Respond("ACK", {{"rawmode", "true"}});
        link.Stop();
    };
    int fills = 0;
    const FirehoseStatus status = client.Program({0, 512, 0, 4}, [&](std::span<std::uint8_t>) {
        ++fills;
        return true;
    });
    EXPECT_EQ(status.result, FirehoseResult::kStopped);
    EXPECT_EQ(programmer.programmed.size(), 4u * 512);
    EXPECT_EQ(fills, 2);
    EXPECT_TRUE(buffer.bytes().empty());
    EXPECT_TRUE(link.stoppable());
}

TEST_F(FirehoseCommands, ReadTakesDataThatCameWithItsResponse) {
    const Bytes data = [] {
        Bytes bytes(3 * 512);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i % 253);
        return bytes;
    }();
    programmer.answer = [&](const Element&) {
        // One write: the response, the data and the final response together.
        Bytes all =
            BytesOf(firehose::DocumentText({"response", {{"value", "ACK"}, {"rawmode", "true"}}}));
        all.insert(all.end(), data.begin(), data.end());
        const Bytes last = BytesOf(kAckDocument);
        all.insert(all.end(), last.begin(), last.end());
        link.Send(all);
    };
    Bytes got;
    const FirehoseStatus status =
        client.Read({0, 512, 7, 3}, [&](std::span<const std::uint8_t> piece) {
            got.insert(got.end(), piece.begin(), piece.end());
        });
    ASSERT_TRUE(status.ok()) << status.detail;
    EXPECT_EQ(got, data);
    EXPECT_TRUE(buffer.bytes().empty());
    EXPECT_EQ(programmer.commands.at(0).name, "read");
}

TEST_F(FirehoseCommands, DigestStorageSizePatchAndReset) {
    const std::string digest(64, 'a');
    programmer.answer = [&](const Element& command) {
        if (command.name == "getsha256digest")
            programmer.Log("Digest 0x" + digest);
        if (command.name == "getstorageinfo") {
            programmer.Log(
                "INFO: {\"storage_info\": {\"total_blocks\":131072, \"block_size\":512, "
                "\"page_size\":512, \"num_physical\":1}}");
        }
        programmer.Respond("ACK");
    };
    Sha256Digest got{};
    ASSERT_TRUE(client.Digest({0, 512, 0, 34}, got).ok());
    EXPECT_EQ(HexDigest(got), digest);

    std::uint64_t sectors = 0;
    std::uint32_t sector_size = 0;
    ASSERT_TRUE(client.StorageSize(0, sectors, sector_size).ok());
    EXPECT_EQ(sectors, 131072u);
    EXPECT_EQ(sector_size, 512u);

    DiskPatch patch;
    patch.sector_size = 512;
    patch.start_sector = 131071;
    patch.byte_offset = 88;
    patch.size = 4;
    ASSERT_TRUE(client.Patch(patch, 0xDEADBEEF).ok());
    EXPECT_EQ(programmer.commands.back().attributes,
              (firehose::Attributes{{"SECTOR_SIZE_IN_BYTES", "512"},
                                    {"byte_offset", "88"},
                                    {"filename", "DISK"},
                                    {"physical_partition_number", "0"},
                                    {"size_in_bytes", "4"},
                                    {"start_sector", "131071"},
                                    {"value", "3735928559"}}));

    programmer.answer = [this](const Element&) { link.Unplug(); };  // leaves before it answers
    EXPECT_TRUE(client.PowerReset().ok());
    EXPECT_EQ(*programmer.commands.back().Attribute("value"), "reset");
}

TEST_F(FirehoseCommands, AnAnswerWithoutADigestIsAnError) {
    programmer.answer = [this](const Element&) {
        programmer.Log("Digest 0x1234");
        programmer.Respond("ACK");
    };
    Sha256Digest got{};
    const FirehoseStatus status = client.Digest({0, 512, 0, 1}, got);
    EXPECT_EQ(status.result, FirehoseResult::kProtocolError);
}

}  // namespace
}  // namespace fendrel::qcom
