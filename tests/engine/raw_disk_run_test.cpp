// Whole runs through the raw-disk route: workers on the station's real services (channels, serial
// link, NV backup, the route and fendrel-msp) against simulated phones whose flash is a disk
// image, on a virtual clock. What lands on each disk is compared with an independent reading of
// the image set's layout files (tests/support/raw_layout_oracle.h).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "engine/download_thread.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "engine/worker_messages.h"
#include "platform/prompts.h"
#include "sim/imageset/image_set.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "tests/support/raw_layout_oracle.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fendrel::testing {
namespace {

namespace fs = std::filesystem;
using platform::Milliseconds;

constexpr std::uint64_t kDiskBytes = 16 << 20;
constexpr std::uint64_t kImageData = 4 << 20;
constexpr std::uint32_t kEsn = 0x12345678;

// What the workers post, port by port, from any thread: the status text of the last STATUS or
// ERROR, and the verdicts.
class Verdicts final : public platform::Notifier {
  public:
    void Post(platform::MessageId message, std::uintptr_t port, std::intptr_t) override {
        const WorkerMessageIds& ids = WorkerMessages();
        const std::lock_guard lock(mutex_);
        Port& seen = ports_[port];
        if (message == ids.success)
            ++seen.successes;
        if (message == ids.error) {
            ++seen.errors;
            seen.error_text = Worker(port);
        }
    }
    // The workers whose status texts are read; set before they start.
    std::vector<const CDownloadThread*> workers;

    struct Port {
        int successes = 0;
        int errors = 0;
        std::string error_text;
    };
    Port Of(std::uintptr_t port) const {
        const std::lock_guard lock(mutex_);
        const auto found = ports_.find(port);
        return found == ports_.end() ? Port() : found->second;
    }

  private:
    std::string Worker(std::uintptr_t port) const {
        for (const CDownloadThread* worker : workers) {
            if (PortNumberOf(worker->port_name()) == port)
                return worker->status_text();
        }
        return {};
    }

    mutable std::mutex mutex_;
    std::map<std::uintptr_t, Port> ports_;
};

class RawDiskRun : public ::testing::Test {
  public:  // the table of failures arranges through it
    RawDiskRun() {
        // fendrel-msp, started by the route, finds the phones' disks in the same tree.
        setenv("FENDREL_SYSFS_ROOT", station_.tree().root().c_str(), 1);
        fs::create_directories(dir_.File("work"));
        fs::create_directories(dir_.File("program"));
        WriteFile(dir_.File("mounts"), "");
        sim::ImageSetOptions set;
        set.folder = dir_.File("images");
        set.disk_bytes = kDiskBytes;
        set.data_bytes = kImageData;
        std::string error;
        EXPECT_TRUE(sim::MakeImageSet(set, error)) << error;
        params_.baud_rate = 115200;
        params_.flash_type = "EMMC";
        params_.image_folder = dir_.path() + "images/";
        params_.version_folder = params_.image_folder;
    }
    ~RawDiskRun() override { unsetenv("FENDREL_SYSFS_ROOT"); }

    // A phone plugged in `product`'s mode, of the emmc family; its number.
    int AddPhone(std::uint16_t product) {
        sim::PhoneProfile profile;
        profile.esn = kEsn + static_cast<std::uint32_t>(station_.size());
        sim::AddPatternNvItems(profile, 1, 20);
        const int number = station_.AddPhone(profile, sim::FindFlashFamily("emmc"));
        EXPECT_TRUE(station_.Plug(number, product)) << station_.error();
        return number;
    }
    // The port name of phone `number`'s diagnostic port as the enumerator names it.
    std::string PortOf(int number) {
        const std::string node = station_.phone(number).Node(sim::kDiagnosticInterface);
        for (const auto& device : devices_.PresentDevices(platform::DeviceClass::kPorts)) {
            if (!node.empty() && device.device_node == node)
                return device.port_name;
        }
        return {};
    }
    // Whether phone `number` is on the bus as `product`.
    bool PluggedAs(int number, std::uint16_t product) {
        char id[16];
        std::snprintf(id, sizeof id, "PID_%04X", product);
        const std::string place = "\\" + station_.phone(number).usb_path();
        for (const auto& device : devices_.PresentDevices(platform::DeviceClass::kPorts)) {
            if (device.instance_id.find(id) != std::string::npos &&
                device.instance_id.ends_with(place))
                return true;
        }
        return false;
    }

    std::unique_ptr<CDownloadThread> Worker(const std::string& port, int kind) {
        const WorkerServices bundle = services_.ForWorkers(nv_backup_, route_);
        auto worker = std::make_unique<CDownloadThread>(port, "USB", kind, &verdicts_, bundle);
        verdicts_.workers.push_back(worker.get());
        EXPECT_TRUE(worker->SetParams(params_));
        return worker;
    }
    // Runs `worker` on its own thread to its end.
    static void RunToEnd(CDownloadThread& worker) {
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }, std::chrono::minutes(5)));
    }

    // What a blank disk holds once the image set is written.
    std::string Expected() const {
        return ExpectedDisk(std::string(kDiskBytes, '\0'), params_.image_folder,
                            ReadFile(params_.image_folder + "rawprogram0.xml"),
                            ReadFile(params_.image_folder + "patch0.xml"));
    }
    std::string Disk(int number) const { return ReadFile(station_.DiskImage(number)); }

    TempDir dir_;
    sim::PhoneStation station_{dir_.File("station"), kDiskBytes};
    platform::DeviceEnumerator devices_{station_.tree().root(),
                                        platform::SettingsStore(dir_.File("registry"))};
    platform::VirtualClock clock_;
    StationServices services_{clock_, devices_};
    NvBackup nv_backup_{NvBackupServices{dir_.File("program/")}};
    RawDiskRoute route_{RawDiskServices{platform::DiskEnumerator(station_.tree().root()),
                                        platform::MountTable(dir_.File("mounts")),
                                        FENDREL_PROGRAM_DIR, dir_.File("work")}};
    Verdicts verdicts_;
    DOWNLOAD_PARAM params_;
    platform::RecordingPrompts prompts_;
    platform::ScopedPrompts installed_{prompts_};
};

TEST_F(RawDiskRun, ADiskModePhoneIsWrittenEndToEndAndRestartsInNormalMode) {
    const int phone = AddPhone(sim::kDiskModeProduct);
    const std::string port = PortOf(phone);
    auto worker = Worker(port, PORT_KIND_STORAGE);
    RunToEnd(*worker);
    const std::uintptr_t number = PortNumberOf(port);
    EXPECT_EQ(verdicts_.Of(number).successes, 1) << verdicts_.Of(number).error_text;
    EXPECT_EQ(worker->status_text(), "Upgrading");
    EXPECT_TRUE(Disk(phone) == Expected());
    // The closing reset sends the phone back to its normal mode.
    EXPECT_TRUE(WaitUntil([&] { return PluggedAs(phone, sim::kNormalModeProduct); }));
}

TEST_F(RawDiskRun, ANormalModePhoneIsBackedUpSwitchedWrittenAsADiskAndResetToNormalMode) {
    WriteFile(dir_.File("program/NV Decoder.zdf"),
              "NV_ITEM_1,1,ReadWrite,<BYTE,a>\nNV_ITEM_2,2,ReadWrite,<BYTE,b>\n");
    params_.backup_esn = 1;
    params_.backup_rf = 1;
    const int phone = AddPhone(sim::kNormalModeProduct);
    const std::string port = PortOf(phone);
    auto worker = Worker(port, PORT_KIND_DIAG);
    RunToEnd(*worker);
    const std::uintptr_t number = PortNumberOf(port);
    EXPECT_EQ(verdicts_.Of(number).successes, 1) << verdicts_.Of(number).error_text;
    EXPECT_FALSE(worker->nv_backup_path().empty());
    EXPECT_TRUE(fs::exists(worker->nv_backup_path()));
    EXPECT_TRUE(Disk(phone) == Expected());
    EXPECT_TRUE(WaitUntil([&] { return PluggedAs(phone, sim::kNormalModeProduct); }));
    EXPECT_FALSE(PluggedAs(phone, sim::kDiskModeProduct));
}

TEST_F(RawDiskRun, EightPhonesFromOneImageFolderEachGetTheirOwnDiskOnce) {
    constexpr int kPhones = 8;
    std::vector<std::string> ports;
    std::vector<std::unique_ptr<CDownloadThread>> workers;
    for (int phone = 1; phone <= kPhones; ++phone) {
        AddPhone(sim::kDiskModeProduct);
        ports.push_back(PortOf(phone));
    }
    for (const std::string& port : ports)
        workers.push_back(Worker(port, PORT_KIND_STORAGE));
    for (auto& worker : workers)
        ASSERT_TRUE(worker->Start());
    for (auto& worker : workers)
        ASSERT_TRUE(WaitUntil([&] { return !worker->IsRunning(); }, std::chrono::minutes(10)));

    const std::string expected = Expected();
    std::set<std::string> targets;
    for (int phone = 1; phone <= kPhones; ++phone) {
        SCOPED_TRACE(ports[phone - 1]);
        const std::uintptr_t number = PortNumberOf(ports[phone - 1]);
        EXPECT_EQ(verdicts_.Of(number).successes, 1) << verdicts_.Of(number).error_text;
        EXPECT_TRUE(Disk(phone) == expected);
        // Each worker's own script named its own phone's disk.
        const std::string script = ReadFile(dir_.File("work/upgrade-" + ports[phone - 1] + ".sh"));
        EXPECT_NE(script.find("'-d' '" + station_.DiskImage(phone) + "'"), std::string::npos)
            << script;
        targets.insert(script.substr(script.find("'-d'")));
    }
    EXPECT_EQ(targets.size(), static_cast<std::size_t>(kPhones));
}

TEST_F(RawDiskRun, DisksThatAreNotCertainlyThePhonesAreRefusedWithErrors) {
    // Two phone disks and a worker that does not know where its phone is (its port is gone).
    AddPhone(sim::kDiskModeProduct);
    AddPhone(sim::kDiskModeProduct);
    auto unplaced = Worker("COM99", PORT_KIND_STORAGE);
    RunToEnd(*unplaced);
    EXPECT_EQ(verdicts_.Of(99).errors, 1);
    EXPECT_EQ(unplaced->status_text(),
              "more than one device,pls make sure only connect kesto phone");
    EXPECT_EQ(prompts_.Texts(), (std::vector<std::string>{unplaced->status_text()}));

    // A phone disk with a mounted partition: its own phone's worker refuses it.
    sim::UsbIdentity partitioned = sim::DiskModeIdentity("SIM1", station_.DiskImage(1), kDiskBytes);
    partitioned.interfaces[sim::kDiskInterface].partitions = 3;
    ASSERT_TRUE(station_.phone(1).Plug(partitioned));
    WriteFile(dir_.File("mounts"), station_.DiskImage(1) + "-part2 /media/phone vfat rw 0 0\n");
    const std::string port = PortOf(1);
    auto mounted = Worker(port, PORT_KIND_STORAGE);
    RunToEnd(*mounted);
    EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).errors, 1);
    EXPECT_EQ(mounted->status_text(),
              "The phone's disk can not be written: " + station_.DiskImage(1) +
                  "-part2 is mounted on /media/phone");
    EXPECT_TRUE(Disk(1) == std::string(kDiskBytes, '\0'));
    EXPECT_TRUE(Disk(2) == std::string(kDiskBytes, '\0'));
}

TEST_F(RawDiskRun, ANormalModePhoneThatDoesNotComeBackAsADiskEndsWithoutOne) {
    // A phone of no family comes back in download mode after the switch.
    const int phone = station_.AddPhone(sim::PhoneProfile{});
    ASSERT_TRUE(station_.Plug(phone, sim::kNormalModeProduct));
    const std::string port = PortOf(phone);
    auto worker = Worker(port, PORT_KIND_DIAG);
    RunToEnd(*worker);
    EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).errors, 1);
    EXPECT_EQ(worker->status_text(), "Can not find the phone's disk!");
    EXPECT_GE(clock_.Now(), RawDiskRoute::kSettlePause +
                                (RawDiskRoute::kDiskSearches - 1) * RawDiskRoute::kDiskSearchPause);
}

TEST_F(RawDiskRun, AProgrammerThatFailsOrADiskThatFailsItEndsWithTheReason) {
    struct Case {
        const char* name;
        std::function<void(RawDiskRun&, int phone)> spoil;
        std::string status;
    };
    const Case cases[] = {
        {"a write-protected disk",
         [](RawDiskRun& t, int phone) {
             ASSERT_TRUE(t.station_.phone(phone).SetDiskFault(sim::DiskFault::kReadOnly));
         },
         "Upgrade fail!(exit status 1): fendrel-msp: " + station_.DiskImage(1) +
             " is read-only"},  // the first case's phone
        {"a phone unplugged while its disk is written",
         [](RawDiskRun& t, int phone) {
             ASSERT_TRUE(t.station_.phone(phone).SetDiskFault(sim::DiskFault::kUnplugMidWrite));
         },
         "Upgrade fail!(exit status 1): fendrel-msp: the disk went away while it was written"},
        // Last: the image set stays spoiled.
        {"an image file missing from the set",
         [](RawDiskRun& t, int) { fs::remove(t.params_.image_folder + "boot.img"); },
         "Upgrade fail!(exit status 1): fendrel-msp: rawprogram0.xml, <program>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int phone = AddPhone(sim::kDiskModeProduct);
        const std::string port = PortOf(phone);
        c.spoil(*this, phone);
        auto worker = Worker(port, PORT_KIND_STORAGE);
        RunToEnd(*worker);
        EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).errors, 1);
        EXPECT_TRUE(worker->status_text().starts_with(c.status)) << worker->status_text();
        EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).successes, 0);
    }
}

// A stand-in for fendrel-msp that starts writing and never ends.
class StalledProgrammer : public RawDiskRun {
  protected:
    StalledProgrammer() {
        const std::string stand_in = dir_.File("stand-in/fendrel-msp");
        WriteFile(stand_in, "#!/bin/sh\necho writing > " + dir_.File("started") + "\nsleep 600\n");
        chmod(stand_in.c_str(), 0755);
    }
    RawDiskRoute stalled_{RawDiskServices{platform::DiskEnumerator(station_.tree().root()),
                                          platform::MountTable(dir_.File("mounts")),
                                          dir_.File("stand-in/"), dir_.File("work")}};
    std::unique_ptr<CDownloadThread> StalledWorker(const std::string& port) {
        const WorkerServices bundle = services_.ForWorkers(nv_backup_, stalled_);
        auto worker =
            std::make_unique<CDownloadThread>(port, "USB", PORT_KIND_STORAGE, &verdicts_, bundle);
        verdicts_.workers.push_back(worker.get());
        EXPECT_TRUE(worker->SetParams(params_));
        return worker;
    }
};

TEST_F(StalledProgrammer, StopEndsTheWriteAtOnce) {
    const std::string port = PortOf(AddPhone(sim::kDiskModeProduct));
    // A half-second of the route's wait may block this long for real; Stop must not wait it out.
    constexpr Milliseconds kLongWait{60000};
    clock_.set_real_device_wait(kLongWait);
    auto worker = StalledWorker(port);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir_.File("started")); }));
    const auto stopped = std::chrono::steady_clock::now();
    worker->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !worker->IsRunning(); }, kLongWait));
    const auto took =
        std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - stopped);
    ::testing::Test::RecordProperty("stop_ms", std::to_string(took.count()));
    EXPECT_LT(took, kLongWait / 2);
    EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).errors, 1);
    EXPECT_EQ(worker->status_text(), "Upgrade stopped!");
}

TEST_F(StalledProgrammer, AWriteThatNeverEndsTimesOutAfterAbout400Seconds) {
    const std::string port = PortOf(AddPhone(sim::kDiskModeProduct));
    clock_.set_real_device_wait(Milliseconds(1));
    auto worker = StalledWorker(port);
    RunToEnd(*worker);
    EXPECT_EQ(verdicts_.Of(PortNumberOf(port)).errors, 1);
    EXPECT_EQ(worker->status_text(), "Upgrade time out!");
    EXPECT_GE(clock_.Now(), RawDiskRoute::kMostTicks * RawDiskRoute::kTickInterval);
    // The copy of the script stays beside the images for a technician.
    EXPECT_TRUE(fs::exists(params_.image_folder + "upgrade-" + port + ".sh"));
}

}  // namespace
}  // namespace fendrel::testing
