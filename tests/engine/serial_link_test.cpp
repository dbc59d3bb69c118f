// The serial link for real: workers with the product's channels and links (StationServices) run
// against simulated phones over pseudo-terminals, on a virtual clock. The NV backup (but where a
// test runs the real one through it), the mass-storage route and the flash library are doubles.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/nv_backup.h"
#include "engine/station_services.h"
#include "engine/worker_messages.h"
#include "qcom/diag_channel.h"
#include "qcom/diag_protocol.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fendrel::testing {
namespace {

using Lines = std::vector<std::string>;
using platform::Milliseconds;
using sim::PhoneFault;

constexpr Milliseconds kSilentDeviceWait{1};
constexpr std::uint16_t kOfflineWord = 6;

// The closing reset of a run: an offline request and a reset, each waiting out its time-out at
// worst.
constexpr Milliseconds kClosingReset = 2 * qcom::DiagChannel::kReplyTimeout;
// The longest the offline step may take against a phone that never answers (every mode change
// and every status read waits out its time-out), with the closing reset after it.
constexpr Milliseconds kOfflineBound =
    kClosingReset + PortLink::kOfflineRounds *
                        (qcom::DiagChannel::kReplyTimeout +
                         PortLink::kStatusReadsPerRound *
                             (PortLink::kStatusReadPause + qcom::DiagChannel::kReplyTimeout));

// One simulated phone and one worker for it, with the real channels and serial link.
class LinkRig {
  public:
    explicit LinkRig(std::uint16_t product = sim::kNormalModeProduct) {
        sim::PhoneProfile profile;
        profile.offline_mode_word = kOfflineWord;
        station.AddPhone(profile);
        EXPECT_TRUE(station.Plug(1, product)) << station.error();
        params.baud_rate = 115200;
    }

    // The port name of phone 1's diagnostic tty as the enumerator names it, empty when absent.
    std::string PhonePort() const {
        const std::string node =
            const_cast<sim::PhoneStation&>(station).phone(1).Node(sim::kDiagnosticInterface);
        for (const auto& device : devices.PresentDevices(platform::DeviceClass::kPorts)) {
            if (!node.empty() && device.device_node == node)
                return device.port_name;
        }
        return {};
    }
    // Whether phone 1 is on the bus as `product`, at its USB place.
    bool PluggedAs(std::uint16_t product) const {
        char id[32];
        std::snprintf(id, sizeof id, "PID_%04X", product);
        for (const auto& device : devices.PresentDevices(platform::DeviceClass::kPorts)) {
            if (device.instance_id.find(id) != std::string::npos &&
                device.instance_id.ends_with("\\1-1"))
                return true;
        }
        return false;
    }

    CDownloadThread& Worker(int kind, platform::Notifier* notifier = nullptr) {
        const WorkerServices bundle{clock,     services.channels(), services.serial_links(),
                                    nv_backup, mass_storage,        flash};
        worker = std::make_unique<CDownloadThread>(PhonePort(), "USB", kind,
                                                   notifier ? notifier : &journal, bundle);
        journal.worker = worker.get();
        return *worker;
    }
    void RunHere(int kind) {
        CDownloadThread& run = Worker(kind);
        ASSERT_TRUE(run.SetParams(params));
        static_cast<CThreadBase&>(run).Run();
    }
    sim::TalkingPhone& phone() { return station.talk(1); }

    TempDir dir;
    sim::PhoneStation station{dir.File("station")};
    platform::DeviceEnumerator devices{station.tree().root(),
                                       platform::SettingsStore(dir.File("registry"))};
    platform::VirtualClock clock;
    StationServices services{clock, devices};
    Journal journal;
    FakeStep nv_backup{journal, "nv-backup"};
    FakeStep mass_storage{journal, "mass-storage"};
    FakeFlashLibraries flash{journal};
    DOWNLOAD_PARAM params;
    std::unique_ptr<CDownloadThread> worker;
};

TEST(SerialLink, ANormalModeRunGoesOfflineSwitchesAndThePhoneReplugsInDownloadMode) {
    LinkRig rig;
    const std::string port = rig.PhonePort();
    ASSERT_EQ(port, "COM1");
    const auto started = std::chrono::steady_clock::now();
    rig.RunHere(PORT_KIND_DIAG);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    ::testing::Test::RecordProperty("real_seconds", std::to_string(took.count()));

    EXPECT_EQ(rig.journal.lines(), (Lines{
                                       "START 1",
                                       "STATUS 1 Detecting phone...",
                                       "nv-backup",
                                       "STATUS 1 Change to offline mode...",
                                       "STATUS 1 Switch to download...",
                                       "mass-storage",
                                       "SUCCESS 1",
                                       "END 1",
                                   }));
    // One status read after the offline request found the phone offline; no wait ran out.
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<Milliseconds>{PortLink::kStatusReadPause}));
    EXPECT_LT(rig.clock.Now(), PortLink::kStatusReadPause + qcom::DiagChannel::kReplyTimeout);
    EXPECT_EQ(rig.phone().received(),
              (std::vector<std::uint8_t>{qcom::diag::kModeChange, qcom::diag::kStatus,
                                         qcom::diag::kSwitchToDownloader}));

    ASSERT_TRUE(WaitUntil([&] { return rig.PluggedAs(sim::kDownloadModeProduct); }));
    EXPECT_FALSE(rig.PluggedAs(sim::kNormalModeProduct));
    EXPECT_NE(rig.PhonePort(), port);
    EXPECT_FALSE(rig.PhonePort().empty());
}

TEST(SerialLink, WithFlashTypeMultiTheFirstStatusReadWillDo) {
    LinkRig rig;
    rig.phone().SetFault(PhoneFault::kStayOnline);
    rig.params.flash_type = "multi";
    rig.RunHere(PORT_KIND_DIAG);
    EXPECT_EQ(rig.journal.Count("SUCCESS 1"), 1);
    EXPECT_EQ(rig.clock.Sleeps(), (std::vector<Milliseconds>{PortLink::kStatusReadPause}));
}

TEST(SerialLink, EveryFaultGivesTheStationsOwnTextWithinTheBoundedTime) {
    const std::string offline_fail = "Change to offline mode fail!";
    const std::string switch_fail = "Switch to download mode fail!";
    // How long each device wait blocks for real: the default wherever some request is answered
    // (a refusal, an echo, the status replies before an unanswered switch), since an answer that
    // comes later than this under load would count as none; a moment where the phone never
    // answers validly.
    constexpr Milliseconds kAnswered = platform::VirtualClock::kDefaultRealDeviceWait;
    struct Case {
        const char* name;
        PhoneFault fault;
        std::optional<std::uint8_t> only_command;
        std::string text;
        Milliseconds bound;
        Milliseconds real_wait;
    };
    const Milliseconds switch_bound =
        kClosingReset + PortLink::kStatusReadPause +
        PortLink::kSwitchAttempts *
            (qcom::DiagChannel::kReplyTimeout + PortLink::kSwitchRetryPause);
    const Case cases[] = {
        {"no answer", PhoneFault::kSilent, {}, offline_fail, kOfflineBound, kSilentDeviceWait},
        {"corrupt CRC",
         PhoneFault::kCorruptCrc,
         {},
         offline_fail,
         kOfflineBound,
         kSilentDeviceWait},
        {"NAK", PhoneFault::kNak, {}, offline_fail, kOfflineBound, kAnswered},
        {"answer later than the time-out",
         PhoneFault::kDelay,
         {},
         offline_fail,
         kOfflineBound,
         kSilentDeviceWait},
        {"unplugged mid-reply",
         PhoneFault::kUnplugMidReply,
         {},
         offline_fail,
         kOfflineBound,
         kAnswered},
        {"refuses to go offline",
         PhoneFault::kStayOnline,
         {},
         offline_fail,
         PortLink::kOfflineRounds * PortLink::kStatusReadsPerRound * PortLink::kStatusReadPause +
             kClosingReset,
         kAnswered},
        {"switch answered with an error",
         PhoneFault::kSwitchError,
         {},
         switch_fail,
         switch_bound,
         kAnswered},
        {"switch refused", PhoneFault::kNak, qcom::diag::kSwitchToDownloader, switch_fail,
         switch_bound, kAnswered},
        {"switch never answered", PhoneFault::kSilent, qcom::diag::kSwitchToDownloader, switch_fail,
         switch_bound, kAnswered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        rig.clock.set_real_device_wait(c.real_wait);
        rig.phone().SetFault(c.fault, c.only_command);
        rig.RunHere(PORT_KIND_DIAG);
        const Lines steps = rig.journal.Steps();
        ASSERT_GE(steps.size(), 3u);
        EXPECT_EQ(Lines(steps.end() - 3, steps.end()),
                  (Lines{"ERROR 1 " + c.text, "ERROR 1 " + c.text, "END 1"}));
        EXPECT_LE(rig.clock.Now(), c.bound);
        EXPECT_EQ(rig.journal.Count("mass-storage"), 0);
    }
}

TEST(SerialLink, AnNvBackupWithoutUsableAnswersFailsAtOnceAndThePhoneIsNotSwitched) {
    constexpr int kItems = 20;
    std::string definitions;
    for (int item = 1; item <= kItems; ++item)
        definitions += "ITEM" + std::to_string(item) + "," + std::to_string(item) + ",Read\n";
    // Each fault is on one command only: the reads before it must be answered, so every device
    // wait keeps the clock's default real limit.
    struct Case {
        const char* name;
        PhoneFault fault;
        std::uint8_t command;
        const char* item;  // named in the failure
    };
    const Case cases[] = {
        {"status never answered", PhoneFault::kSilent, qcom::diag::kStatus, "NV_ESN"},
        {"status refused", PhoneFault::kNak, qcom::diag::kStatus, "NV_ESN"},
        {"NV read never answered", PhoneFault::kSilent, qcom::diag::kNvRead, "ITEM1"},
        {"NV read with a damaged frame", PhoneFault::kCorruptCrc, qcom::diag::kNvRead, "ITEM1"},
        {"NV read refused", PhoneFault::kNak, qcom::diag::kNvRead, "ITEM1"},
        {"unplugged mid-reply", PhoneFault::kUnplugMidReply, qcom::diag::kNvRead, "ITEM1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir program;
        WriteFile(program.File("NV Decoder.zdf"), definitions);
        NvBackup backup(NvBackupServices{program.path()});
        LinkRig rig;
        rig.nv_backup.action = [&backup](CDownloadThread& worker) { return backup.Run(worker); };
        rig.params.backup_esn = 1;
        rig.params.backup_rf = 1;
        rig.phone().SetFault(c.fault, c.command);
        rig.RunHere(PORT_KIND_DIAG);

        const std::string failed = std::string("ERROR 1 Backup NV(") + c.item + ") fail!";
        const Lines steps = rig.journal.Steps();
        ASSERT_GE(steps.size(), 3u);
        EXPECT_EQ(Lines(steps.end() - 3, steps.end()), (Lines{failed, failed, "END 1"}));
        // One unanswered read at most, then the closing reset: not one time-out per item.
        EXPECT_LE(rig.clock.Now(), qcom::DiagChannel::kReplyTimeout + kClosingReset);
        const std::vector<std::uint8_t> received = rig.phone().received();
        EXPECT_EQ(std::count(received.begin(), received.end(), qcom::diag::kSwitchToDownloader), 0);
        EXPECT_EQ(rig.journal.Count("mass-storage"), 0);
        EXPECT_FALSE(std::filesystem::exists(program.File("Backup")));
    }
}

TEST(SerialLink, APhoneThatStaysOnlineIsAskedTenTimesAndReadThirtyTimesAboutFifteenSeconds) {
    LinkRig rig;
    rig.phone().SetFault(PhoneFault::kStayOnline);
    rig.RunHere(PORT_KIND_DIAG);
    const std::vector<std::uint8_t> received = rig.phone().received();
    // The run ends by resetting the phone: offline and reset requests after the step's own.
    const auto count = [&](std::uint8_t code) {
        return std::count(received.begin(), received.end(), code);
    };
    EXPECT_EQ(count(qcom::diag::kStatus), 30);
    EXPECT_EQ(count(qcom::diag::kModeChange), 10 + 2);
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(30, PortLink::kStatusReadPause));
}

TEST(SerialLink, APortThatCannotBeOpenedIsReportedAsSuch) {
    for (const bool held_elsewhere : {false, true}) {
        SCOPED_TRACE(held_elsewhere ? "in use" : "unplugged");
        LinkRig rig;
        platform::SerialPort other;
        CDownloadThread& worker = rig.Worker(PORT_KIND_DIAG);
        if (held_elsewhere)
            ASSERT_EQ(other.Open(worker.port_name(), 115200, rig.devices),
                      platform::OpenStatus::kOpened);
        else
            rig.station.phone(1).Unplug();
        ASSERT_TRUE(worker.SetParams(rig.params));
        static_cast<CThreadBase&>(worker).Run();
        EXPECT_EQ(rig.journal.Steps(), (Lines{"START 1", "ERROR 1 Can not open port!", "END 1"}));
        EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(15, Milliseconds(95)));
    }
}

// Stops the worker the moment it reports `trigger`, on the worker's own thread.
class StopOnStatus final : public platform::Notifier {
  public:
    StopOnStatus(Journal& journal, std::string trigger)
        : journal_(journal), trigger_(std::move(trigger)) {}
    void Post(platform::MessageId message, std::uintptr_t wparam, std::intptr_t lparam) override {
        journal_.Post(message, wparam, lparam);
        if (worker != nullptr && worker->status_text() == trigger_)
            worker->Stop();
    }
    CDownloadThread* worker = nullptr;

  private:
    Journal& journal_;
    const std::string trigger_;
};

TEST(SerialLink, AStopAsTheOfflineStepBeginsEndsItBeforeItAsksThePhone) {
    LinkRig rig;
    StopOnStatus stopper(rig.journal, "Change to offline mode...");
    CDownloadThread& worker = rig.Worker(PORT_KIND_DIAG, &stopper);
    stopper.worker = &worker;
    ASSERT_TRUE(worker.SetParams(rig.params));
    static_cast<CThreadBase&>(worker).Run();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.end() - 4, steps.end()),
              (Lines{"STATUS 1 Change to offline mode...", "ERROR 1 Change to offline mode fail!",
                     "ERROR 1 Change to offline mode fail!", "END 1"}));
    EXPECT_TRUE(rig.clock.Sleeps().empty());
}

TEST(SerialLink, AStopDuringTheOfflineStepCutsTheWaitForThePhoneShort) {
    LinkRig rig;
    // A wait that the stop did not cut would hang the test.
    rig.clock.set_real_device_wait(Milliseconds(3600 * 1000));
    rig.phone().SetFault(PhoneFault::kSilent);
    CDownloadThread& worker = rig.Worker(PORT_KIND_DIAG);
    ASSERT_TRUE(worker.SetParams(rig.params));
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return !rig.phone().received().empty(); }));
    worker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }));
    EXPECT_EQ(worker.status_text(), "Change to offline mode fail!");
    // The offline request (and the closing reset's two) went out; no status read was begun.
    EXPECT_TRUE(WaitUntil([&] { return rig.phone().received().size() >= 3; }));
    EXPECT_EQ(rig.phone().received(), std::vector<std::uint8_t>(3, qcom::diag::kModeChange));
    EXPECT_LT(rig.clock.Now(), qcom::DiagChannel::kReplyTimeout);
}

TEST(SerialLink, RediscoveryFindsNoDiagnosticPortInDownloadModeAndTheNormalModePortAfterwards) {
    struct Case {
        const char* name;
        bool phone_restarts;  // during the mass-storage step
    };
    for (const Case c : {Case{"stays in download mode", false}, Case{"restarts", true}}) {
        SCOPED_TRACE(c.name);
        LinkRig rig(sim::kDownloadModeProduct);
        const std::string download_port = rig.PhonePort();
        ASSERT_FALSE(download_port.empty());
        // A set with a raw-disk layout, so that the run goes on into the route.
        TempDir set;
        WriteFile(set.File("rawprogram0.xml"), "<data/>");
        rig.params.version_folder = set.path();
        std::string normal_port;
        rig.mass_storage.action = [&](CDownloadThread&) {
            if (c.phone_restarts) {
                EXPECT_TRUE(rig.station.Plug(1, sim::kNormalModeProduct));
                normal_port = rig.PhonePort();
            }
            return true;
        };
        rig.RunHere(PORT_KIND_DLOAD);
        const std::string number = download_port.substr(3);
        const Lines steps = rig.journal.Steps();
        ASSERT_GE(steps.size(), 2u);
        EXPECT_EQ(steps[steps.size() - 2], "END " + number);
        if (!c.phone_restarts) {
            EXPECT_EQ(steps.back(), "END 0");
            EXPECT_EQ(rig.worker->port_name(), "");
            EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(100, Milliseconds(100)));
            continue;
        }
        ASSERT_EQ(normal_port.rfind("COM", 0), 0u);
        EXPECT_EQ(steps.back(), "END " + normal_port.substr(3));
        EXPECT_EQ(rig.worker->port_name(), normal_port);
        // The re-discovered port was opened and sent the disk-mode reset.
        EXPECT_EQ(rig.phone().received().back(), qcom::diag::kModeChange);
    }
}

TEST(SerialLink, ADiskModeRunEndsByRestartingThePhone) {
    LinkRig rig(sim::kDiskModeProduct);
    const std::string number = rig.PhonePort().substr(3);
    rig.RunHere(PORT_KIND_STORAGE);
    EXPECT_EQ(rig.journal.Steps(),
              (Lines{"START " + number, "mass-storage", "SUCCESS " + number, "END " + number}));
    EXPECT_EQ(rig.phone().received(), std::vector<std::uint8_t>{qcom::diag::kModeChange});
    EXPECT_TRUE(WaitUntil([&] { return rig.PluggedAs(sim::kNormalModeProduct); }));
}

TEST(SerialLink, RediscoveryTakesTheLastDiagnosticPortAndPassesOverTheRest) {
    LinkRig rig(sim::kDownloadModeProduct);
    EXPECT_EQ(FindDiagnosticPort(rig.devices), "");
    rig.station.AddPhone();
    rig.station.AddPhone();
    ASSERT_TRUE(rig.station.Plug(2, sim::kNormalModeProduct));
    const std::string first = FindDiagnosticPort(rig.devices);
    EXPECT_EQ(first.rfind("COM", 0), 0u);
    // A disk-mode phone's diagnostic interface is an MI_00 port as well.
    ASSERT_TRUE(rig.station.Plug(3, sim::kDiskModeProduct));
    const std::string last = FindDiagnosticPort(rig.devices);
    EXPECT_NE(last, first);
    EXPECT_EQ(rig.station.phone(3).Node(sim::kDiagnosticInterface),
              *rig.devices.FindPortNode(last));
}

}  // namespace
}  // namespace fendrel::testing
