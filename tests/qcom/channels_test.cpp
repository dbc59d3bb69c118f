// The two command channels over pseudo-terminals against simulated phones: what each command
// returns from a phone that answers, refuses, stays silent, answers late, damaged or not at all,
// and that every wait ends within its time-out, at once on the stop event.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/event.h"
#include "platform/serial_port.h"
#include "qcom/diag_channel.h"
#include "qcom/diag_protocol.h"
#include "qcom/dmss_protocol.h"
#include "qcom/download_channel.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fendrel::qcom {
namespace {

using platform::Milliseconds;
using sim::PhoneFault;
using testing::TempDir;
using testing::WaitUntil;

constexpr unsigned kBaud = 115200;
// The records are packed: their fields are copied (unary +) before a check takes a reference.
constexpr std::uint32_t kEsn = 0x12345678;
constexpr std::uint16_t kStoredItem = 550;
// A phone meant to stay silent is given up on after this much real time.
constexpr Milliseconds kSilentDeviceWait{1};

// One phone on a pseudo-terminal, its port open, both channels bound to it, all waits on a
// virtual clock.
class PhoneOnPty {
  public:
    explicit PhoneOnPty(std::uint16_t product = sim::kNormalModeProduct) {
        sim::PhoneProfile profile;
        profile.esn = kEsn;
        profile.nv_items[kStoredItem] = sim::PatternNvData(kStoredItem);
        station_.AddPhone(profile);
        EXPECT_TRUE(station_.Plug(1, product)) << station_.error();
        node_ = station_.phone(1).Node(sim::kDiagnosticInterface);
        EXPECT_EQ(port_.Open(node_, kBaud), platform::OpenStatus::kOpened) << port_.error();
        diag.Attach(port_);
        download.Attach(port_);
    }

    sim::TalkingPhone& phone() { return station_.talk(1); }
    // Waits until the phone is back on the bus as `product` with another port.
    bool Replugged(std::uint16_t product) {
        return WaitUntil([&] {
            const std::string node = station_.phone(1).Node(sim::kDiagnosticInterface);
            return !node.empty() && node != node_ && ProductOnBus() == product;
        });
    }

    TempDir dir;
    platform::ManualResetEvent stop;
    platform::VirtualClock clock;
    platform::SerialPort port_;
    DiagChannel diag{stop, clock};
    DownloadChannel download{stop, clock};

  private:
    // The product id of the phone's USB device as the tree shows it.
    std::uint16_t ProductOnBus() {
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(
                 station_.tree().root() + "/devices", error)) {
            if (entry.path().filename() == "idProduct")
                return static_cast<std::uint16_t>(
                    std::stoul(testing::ReadFile(entry.path()), nullptr, 16));
        }
        return 0;
    }

    sim::PhoneStation station_{dir.File("station")};
    std::string node_;
};

TEST(DiagChannel, ReadsStatusAndNvItemsAndTakesThePhoneOffline) {
    PhoneOnPty rig;
    STATUS_S_TYPE status{};
    ASSERT_EQ(rig.diag.ReadStatus(status), DMSS_SUCCESS);
    EXPECT_EQ(status.head[0], diag::kStatus);
    EXPECT_EQ(+status.esn, kEsn);
    EXPECT_EQ(+status.mode, 0);

    NV_S_TYPE record{};
    record.item = kStoredItem;
    ASSERT_EQ(rig.diag.ReadNV(record), DMSS_SUCCESS);
    EXPECT_EQ(record.command, diag::kNvRead);
    EXPECT_EQ(+record.status, 0);
    const auto pattern = sim::PatternNvData(kStoredItem);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), record.data));

    NV_S_TYPE missing{};
    missing.item = 4321;
    ASSERT_EQ(rig.diag.ReadNV(missing), DMSS_SUCCESS);
    EXPECT_EQ(+missing.status, diag::kNvInactive);

    EXPECT_EQ(rig.diag.ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL), DMSS_SUCCESS);
    ASSERT_EQ(rig.diag.ReadStatus(status), DMSS_SUCCESS);
    EXPECT_EQ(+status.mode, 2);
}

TEST(DiagChannel, ResetsOnlyFromOfflineAndThePhoneRestarts) {
    PhoneOnPty rig;
    EXPECT_EQ(rig.diag.ChangeMode(MODE_CHANGE_RESET), DMSS_REJECTED);
    EXPECT_EQ(rig.diag.ResetPhone(), DMSS_SUCCESS);
    EXPECT_EQ(rig.phone().received(),
              (std::vector<std::uint8_t>{diag::kModeChange, diag::kModeChange, diag::kModeChange}));
    EXPECT_TRUE(rig.Replugged(sim::kNormalModeProduct));
}

TEST(DiagChannel, TheSwitchLeavesForDownloadModeAndARetryAfterwardsCountsAsSwitched) {
    PhoneOnPty rig;
    const DMSS_RET_E_TYPE first = rig.diag.SwitchToDownloader();
    // Whether the answer is read before the port hangs up is the bus's business.
    EXPECT_TRUE(first == DMSS_SUCCESS || first == DMSS_SWITCHED_WITHOUT_REPLY) << first;
    ASSERT_TRUE(rig.Replugged(sim::kDownloadModeProduct));
    EXPECT_EQ(rig.diag.SwitchToDownloader(), DMSS_SWITCHED_WITHOUT_REPLY);

    // Without a switch request of its own, a vanished port is only that.
    DiagChannel fresh(rig.stop, rig.clock);
    fresh.Attach(rig.port_);
    EXPECT_EQ(fresh.SwitchToDownloader(), DMSS_PORT_GONE);
    STATUS_S_TYPE status{};
    EXPECT_EQ(fresh.ReadStatus(status), DMSS_PORT_GONE);
}

// Sends, before the answer to every request, what a phone may send between request and reply,
// and splits the answer in two writes.
class ChattyPhone final : public sim::PhoneBehaviour {
  public:
    void OnHostBytes(sim::PhoneControl& phone, int, std::span<const std::uint8_t> bytes) override {
        decoder_.Feed(bytes);
        while (const std::optional<Packet> request = decoder_.Next()) {
            Packet late_nv(diag::kNvRecordBytes, 0);
            late_nv[0] = diag::kNvRead;
            late_nv[1] = 7;  // an answer for item 7, which nobody asks for now
            for (const Packet& noise :
                 {Packet{diag::kLogPacket, 1, 2, 3}, Packet{diag::kEventReport, 9}, late_nv,
                  Packet{diag::kBadCommand, 0x4B, 0x12}}) {
                Send(phone, noise);
            }
            Packet answer = *request;
            if (answer[0] == diag::kStatus) {
                answer.assign(diag::kStatusBytes, 0);
                answer[0] = diag::kStatus;
                answer[diag::kStatusEsnOffset] = 0x2A;
            }
            const Packet frame = EncodeFrame(answer, LeadingFlag::kWithout);
            const std::size_t half = frame.size() / 2;
            phone.Reply(sim::kDiagnosticInterface, std::span(frame).first(half));
            phone.Reply(sim::kDiagnosticInterface, std::span(frame).subspan(half));
        }
    }

  private:
    static void Send(sim::PhoneControl& phone, const Packet& packet) {
        phone.Reply(sim::kDiagnosticInterface, EncodeFrame(packet, LeadingFlag::kWithout));
    }
    FrameDecoder decoder_;
};

TEST(DiagChannel, PassesOverUnsolicitedAndLatePacketsToTheAnswer) {
    TempDir dir;
    sim::FakeDeviceTree tree(dir.File("sys"));
    sim::SimulatedPhone phone(tree, "1-1", std::make_unique<ChattyPhone>());
    ASSERT_TRUE(phone.Plug(sim::NormalModeIdentity("C1")));
    platform::ManualResetEvent stop;
    platform::VirtualClock clock;
    platform::SerialPort port;
    ASSERT_EQ(port.Open(phone.Node(sim::kDiagnosticInterface), kBaud),
              platform::OpenStatus::kOpened);
    DiagChannel channel(stop, clock);
    channel.Attach(port);

    STATUS_S_TYPE status{};
    ASSERT_EQ(channel.ReadStatus(status), DMSS_SUCCESS);
    EXPECT_EQ(+status.esn, 0x2Au);
    NV_S_TYPE record{};
    record.item = 5;
    record.data[0] = 0xEE;  // an indexed item's index goes out with the request
    ASSERT_EQ(channel.ReadNV(record), DMSS_SUCCESS);
    EXPECT_EQ(+record.item, 5);
    EXPECT_EQ(record.data[0], 0xEE);
    EXPECT_EQ(channel.ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL), DMSS_SUCCESS);
    EXPECT_EQ(channel.dropped_frames(), 0u);
}

TEST(DiagChannel, EveryFaultEndsTheCommandWithinItsTimeOut) {
    struct Case {
        const char* name;
        PhoneFault fault;
        bool switch_command;  // else the status request
        DMSS_RET_E_TYPE expected;
        bool waits_out;  // the whole time-out passes
    };
    const Case cases[] = {
        {"silent", PhoneFault::kSilent, false, DMSS_TIMEOUT, true},
        {"bad CRC", PhoneFault::kCorruptCrc, false, DMSS_TIMEOUT, true},
        {"late answer", PhoneFault::kDelay, false, DMSS_TIMEOUT, true},
        {"refusal", PhoneFault::kNak, false, DMSS_REJECTED, false},
        {"unplugged mid-reply", PhoneFault::kUnplugMidReply, false, DMSS_PORT_GONE, false},
        {"switch refused", PhoneFault::kSwitchError, true, DMSS_REJECTED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneOnPty rig;
        // Answers that come are read at once; only a phone that never answers validly may be
        // given up on after a moment.
        if (c.fault == PhoneFault::kSilent || c.fault == PhoneFault::kDelay)
            rig.clock.set_real_device_wait(kSilentDeviceWait);
        rig.phone().SetFault(c.fault);
        STATUS_S_TYPE status{};
        const DMSS_RET_E_TYPE result =
            c.switch_command ? rig.diag.SwitchToDownloader() : rig.diag.ReadStatus(status);
        EXPECT_EQ(result, c.expected);
        if (c.waits_out) {
            EXPECT_GE(rig.clock.Now(), DiagChannel::kReplyTimeout);
        }
        EXPECT_LT(rig.clock.Now(), 2 * DiagChannel::kReplyTimeout);
        EXPECT_EQ(rig.diag.dropped_frames(), c.fault == PhoneFault::kCorruptCrc ? 1u : 0u);
    }
}

TEST(DiagChannel, AnAnswerThatIsOnlySlowStillCounts) {
    PhoneOnPty rig;
    rig.phone().SetFault(PhoneFault::kDelay, diag::kStatus, Milliseconds(20));
    STATUS_S_TYPE status{};
    EXPECT_EQ(rig.diag.ReadStatus(status), DMSS_SUCCESS);
    EXPECT_EQ(+status.esn, kEsn);
}

TEST(DiagChannel, APhoneInDiskModeTakesTheResetAtOnceAndRestarts) {
    PhoneOnPty rig(sim::kDiskModeProduct);
    EXPECT_EQ(rig.diag.ResetPhone9006(), DMSS_SUCCESS);
    EXPECT_EQ(rig.phone().received(), std::vector<std::uint8_t>{diag::kModeChange});
    EXPECT_TRUE(rig.Replugged(sim::kNormalModeProduct));
}

TEST(DiagChannel, APhoneThatStaysOnlineConfirmsTheModeChangeAndReportsOnline) {
    PhoneOnPty rig;
    rig.phone().SetFault(PhoneFault::kStayOnline);
    EXPECT_EQ(rig.diag.ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL), DMSS_SUCCESS);
    STATUS_S_TYPE status{};
    ASSERT_EQ(rig.diag.ReadStatus(status), DMSS_SUCCESS);
    EXPECT_EQ(+status.mode, 0);
}

TEST(DiagChannel, APhoneInDownloadModeRefusesDiagAtOnce) {
    PhoneOnPty rig(sim::kDownloadModeProduct);
    NV_S_TYPE record{};
    record.item = kStoredItem;
    EXPECT_EQ(rig.diag.ReadNV(record), DMSS_REJECTED);
    EXPECT_EQ(rig.diag.ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL), DMSS_REJECTED);
    EXPECT_LT(rig.clock.Now(), DiagChannel::kReplyTimeout);
}

TEST(DiagChannel, TheStopEventEndsTheWaitAtOnceAndWithoutAPortNothingIsSent) {
    PhoneOnPty rig;
    rig.clock.set_real_device_wait(kSilentDeviceWait);
    rig.phone().SetFault(PhoneFault::kSilent);
    rig.stop.Set();
    STATUS_S_TYPE status{};
    EXPECT_EQ(rig.diag.ReadStatus(status), DMSS_STOPPED);
    EXPECT_EQ(rig.clock.Now(), Milliseconds(0));

    DiagChannel unbound(rig.stop, rig.clock);
    EXPECT_EQ(unbound.ReadStatus(status), DMSS_NOT_ATTACHED);
    rig.diag.Detach();
    EXPECT_EQ(rig.diag.ReadStatus(status), DMSS_NOT_ATTACHED);
    platform::SerialPort closed;
    unbound.Attach(closed);
    EXPECT_EQ(unbound.SwitchToDownloader(), DMSS_NOT_ATTACHED);
    EXPECT_TRUE(WaitUntil([&] { return rig.phone().received().size() == 1; }));
}

TEST(DownloadChannel, AnswersThePublicCommandsAndTheVendorExtension) {
    PhoneOnPty rig(sim::kDownloadModeProduct);
    EXPECT_EQ(rig.download.Nop(), DMSS_SUCCESS);
    DmssParameters parameters;
    ASSERT_EQ(rig.download.ReadParameters(parameters), DMSS_SUCCESS);
    EXPECT_EQ(parameters.protocol_version, 8);
    EXPECT_EQ(parameters.largest_write, 1024);
    std::string version;
    ASSERT_EQ(rig.download.ReadSoftwareVersion(version), DMSS_SUCCESS);
    EXPECT_EQ(version, "SIM-PBL 1.0");

    BBINFO_S_TYPE info{};
    ASSERT_EQ(rig.download.DLGetBBinfo(info), DMSS_SUCCESS);
    EXPECT_EQ(+info.boot_block, 0x10000001u);
    EXPECT_EQ(rig.download.DLVerifyVersion(0x100), DMSS_SUCCESS);
    EXPECT_EQ(rig.download.DLVerifyVersion(0x200), DMSS_REJECTED);
    EXPECT_EQ(rig.download.last_nak_reason(), dmss::kOperationFailed);
}

TEST(DownloadChannel, ABootLoaderWithoutTheExtensionRefusesItAndNothingHangs) {
    for (const std::uint8_t command : {dmss::kBootBlockQuery, dmss::kVerifyBootVersion}) {
        PhoneOnPty rig(sim::kDownloadModeProduct);
        rig.phone().SetFault(PhoneFault::kNak, command);
        BBINFO_S_TYPE info{};
        const DL_RET_E_TYPE result = command == dmss::kBootBlockQuery
                                         ? rig.download.DLGetBBinfo(info)
                                         : rig.download.DLVerifyVersion(0x100);
        EXPECT_EQ(result, DMSS_REJECTED);
        EXPECT_EQ(rig.download.last_nak_reason(), dmss::kInvalidCommand);
        EXPECT_LT(rig.clock.Now(), DownloadChannel::kReplyTimeout);
        EXPECT_EQ(rig.download.Nop(), DMSS_SUCCESS);
    }
}

TEST(DownloadChannel, ASilentBootLoaderTimesOutAndTheResetRestartsThePhone) {
    PhoneOnPty rig(sim::kDownloadModeProduct);
    rig.clock.set_real_device_wait(kSilentDeviceWait);
    rig.phone().SetFault(PhoneFault::kSilent);
    EXPECT_EQ(rig.download.Nop(), DMSS_TIMEOUT);
    EXPECT_EQ(rig.clock.Now(), DownloadChannel::kReplyTimeout);

    rig.phone().SetFault(PhoneFault::kNone);
    rig.clock.set_real_device_wait(platform::VirtualClock::kDefaultRealDeviceWait);
    EXPECT_EQ(rig.download.Reset(), DMSS_SUCCESS);
    EXPECT_TRUE(rig.Replugged(sim::kNormalModeProduct));
}

}  // namespace
}  // namespace fendrel::qcom
