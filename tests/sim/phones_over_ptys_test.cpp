// Simulated phones as the product sees them: scanned through the real enumerator, opened through
// the serial port by COM name, talked to over their pseudo-terminals, unplugged and re-plugged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <mutex>

#include "platform/disks.h"
#include "platform/event.h"
#include "platform/serial_port.h"
#include "ports/port_scanner.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/simulated_phone.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;
using platform::IoStatus;

constexpr platform::Milliseconds kArrives(10000);
constexpr unsigned kBaud = 115200;
constexpr std::string_view kSwitchCommand = "SWITCH\n";

// Answers every byte with itself, and switches to download mode when told to.
class EchoBehaviour final : public sim::PhoneBehaviour {
  public:
    void OnPlugged(sim::PhoneControl& phone) override {
        const std::lock_guard lock(mutex_);
        if (phone.identity().product == sim::kDownloadModeProduct && !download_mode_seen_) {
            download_mode_seen_ = true;
            download_mode_.set_value();
        }
    }
    void OnHostBytes(sim::PhoneControl& phone, int interface_number,
                     std::span<const std::uint8_t> bytes) override {
        phone.Reply(interface_number, bytes);
        received_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (received_.find(kSwitchCommand) != std::string::npos) {
            received_.clear();
            phone.Replug(sim::DownloadModeIdentity(phone.identity().serial));
        }
    }
    std::future<void> DownloadMode() { return download_mode_.get_future(); }

  private:
    std::string received_;
    std::mutex mutex_;
    bool download_mode_seen_ = false;
    std::promise<void> download_mode_;
};

// Acknowledges every byte with itself when idle, and answers '!' with itself at once.
class AcknowledgingBehaviour final : public sim::PhoneBehaviour {
  public:
    void OnHostBytes(sim::PhoneControl& phone, int interface_number,
                     std::span<const std::uint8_t> bytes) override {
        for (const std::uint8_t& byte : bytes) {
            if (byte == '!')
                phone.Reply(interface_number, std::span(&byte, 1));
            else
                phone.ReplyWhenIdle(interface_number, std::span(&byte, 1));
        }
    }
};

class PhonesOverPtys : public ::testing::Test {
  protected:
    PhonesOverPtys() {
        WriteFile(dir_.File("config.ini"),
                  "[DEVICEINFO]\nIsUSBSize=1\nIsUSBHWID1=vid_05c6&pid_9025\nIsUSBType1=Diag\n");
    }

    sim::SimulatedPhone& AddPhone(std::string usb_path) {
        auto behaviour = std::make_unique<EchoBehaviour>();
        behaviours_.push_back(behaviour.get());
        phones_.push_back(std::make_unique<sim::SimulatedPhone>(tree_, std::move(usb_path),
                                                                std::move(behaviour)));
        return *phones_.back();
    }

    std::vector<PORT_RECORD> Scan() {
        CPortScanner scanner(devices_, dir_.File("config.ini"));
        scanner.Scan();
        EXPECT_TRUE(scanner.problems().empty());
        std::vector<PORT_RECORD> ports;
        for (int i = 0; i < scanner.GetPortCount(); ++i)
            ports.push_back(scanner.GetPort(i));
        return ports;
    }

    // Writes `text` and reads until as many bytes came back.
    std::string Exchange(platform::SerialPort& port, const std::string& text) {
        const auto bytes =
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        EXPECT_EQ(port.Write(bytes, stop_, kArrives).bytes, text.size());
        std::string answer;
        while (answer.size() < text.size() && port.WaitReadable(stop_, kArrives) == IoStatus::kOk) {
            std::uint8_t chunk[256];
            const platform::IoResult got = port.Read(chunk);
            answer.append(reinterpret_cast<char*>(chunk), got.bytes);
        }
        return answer;
    }

    TempDir dir_;
    sim::FakeDeviceTree tree_{dir_.File("sys")};
    platform::DeviceEnumerator devices_{tree_.root(), platform::SettingsStore(dir_.File("reg"))};
    platform::ManualResetEvent stop_;
    std::vector<EchoBehaviour*> behaviours_;
    std::vector<std::unique_ptr<sim::SimulatedPhone>> phones_;
};

TEST_F(PhonesOverPtys, ThreeModesAreListedOpenedAndAnswer) {
    ASSERT_TRUE(AddPhone("1-1").Plug(sim::NormalModeIdentity("N1")));
    ASSERT_TRUE(AddPhone("1-2").Plug(sim::DownloadModeIdentity("D1")));
    ASSERT_TRUE(AddPhone("1-3").Plug(sim::DiskModeIdentity("S1", dir_.File("flash.img"), 8 << 20)));

    const std::vector<PORT_RECORD> ports = Scan();
    ASSERT_EQ(ports.size(), 3u);
    const PORT_RECORD expected[] = {
        {"COM1", "Diag", PORT_KIND_DIAG},
        {"COM3", "UART", PORT_KIND_DLOAD},  // COM2 is the normal-mode phone's NMEA port
        {"COM4", "UART", PORT_KIND_STORAGE},
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(ports[i].port_name);
        EXPECT_EQ(ports[i].port_name, expected[i].port_name);
        EXPECT_EQ(ports[i].port_type, expected[i].port_type);
        EXPECT_EQ(ports[i].port_kind, expected[i].port_kind);

        platform::SerialPort port;
        ASSERT_EQ(port.Open(ports[i].port_name, kBaud, devices_), platform::OpenStatus::kOpened)
            << port.error();
        EXPECT_EQ(port.device_path(), phones_[i]->Node(sim::kDiagnosticInterface));
        const std::string text = "\x7e hello " + ports[i].port_name + std::string("\r\n\0\xff", 4);
        EXPECT_EQ(Exchange(port, text), text);
    }
    EXPECT_EQ(phones_[2]->Node(sim::kDiskInterface), dir_.File("flash.img"));
}

TEST_F(PhonesOverPtys, UnpluggedPhonesLeaveTheScanAndComeBackUnderTheirName) {
    sim::SimulatedPhone& normal = AddPhone("1-1");
    sim::SimulatedPhone& download = AddPhone("1-2");
    ASSERT_TRUE(normal.Plug(sim::NormalModeIdentity("N1")));
    ASSERT_TRUE(download.Plug(sim::DownloadModeIdentity("D1")));
    ASSERT_EQ(Scan().size(), 2u);

    platform::SerialPort port;
    ASSERT_EQ(port.Open("COM3", kBaud, devices_), platform::OpenStatus::kOpened) << port.error();
    download.Unplug();
    EXPECT_EQ(port.WaitReadable(stop_, kArrives), IoStatus::kGone);
    const auto without = Scan();
    ASSERT_EQ(without.size(), 1u);
    EXPECT_EQ(without[0].port_name, "COM1");
    platform::SerialPort missing;
    EXPECT_EQ(missing.Open("COM3", kBaud, devices_), platform::OpenStatus::kNotFound);

    ASSERT_TRUE(download.Plug(sim::DownloadModeIdentity("D1")));
    const auto back = Scan();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].port_name, "COM3");
    ASSERT_EQ(port.Open("COM3", kBaud, devices_), platform::OpenStatus::kOpened) << port.error();
    EXPECT_EQ(Exchange(port, "again"), "again");

    // In another mode the phone is another device with a name of its own (COM4 went to its
    // modem); back in its first mode it has its first name again.
    ASSERT_TRUE(normal.Plug(sim::DownloadModeIdentity("N1")));
    EXPECT_EQ(Scan()[0].port_name, "COM5");
    ASSERT_TRUE(normal.Plug(sim::NormalModeIdentity("N1")));
    EXPECT_EQ(Scan()[0].port_name, "COM1");
}

TEST_F(PhonesOverPtys, APhoneSwitchesModeByItself) {
    sim::SimulatedPhone& phone = AddPhone("1-1");
    std::future<void> download_mode = behaviours_[0]->DownloadMode();
    ASSERT_TRUE(phone.Plug(sim::NormalModeIdentity("N1")));
    platform::SerialPort port;
    ASSERT_EQ(port.Open("COM1", kBaud, devices_), platform::OpenStatus::kOpened) << port.error();

    const std::string command(kSwitchCommand);
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(command.data()), command.size());
    ASSERT_EQ(port.Write(bytes, stop_, kArrives).status, IoStatus::kOk);
    // The old port goes away (what it still said is lost with it, as on a real bus).
    IoStatus status;
    do {
        std::uint8_t chunk[64];
        status = port.WaitReadable(stop_, kArrives);
        if (status == IoStatus::kOk)
            status = port.Read(chunk).status;
    } while (status == IoStatus::kOk);
    EXPECT_EQ(status, IoStatus::kGone);

    ASSERT_EQ(download_mode.wait_for(kArrives), std::future_status::ready);
    const auto ports = Scan();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].port_kind, PORT_KIND_DLOAD);
    ASSERT_EQ(port.Open(ports[0].port_name, kBaud, devices_), platform::OpenStatus::kOpened);
    EXPECT_EQ(Exchange(port, "dl"), "dl");
}

TEST_F(PhonesOverPtys, AnswersHeldUntilIdleGoOutInOrder) {
    sim::SimulatedPhone phone(tree_, "1-1", std::make_unique<AcknowledgingBehaviour>());
    ASSERT_TRUE(phone.Plug(sim::DownloadModeIdentity("D1")));
    platform::SerialPort port;
    ASSERT_EQ(port.Open(phone.Node(sim::kDiagnosticInterface), kBaud),
              platform::OpenStatus::kOpened)
        << port.error();
    // Held answers go before one sent at once, and the last ones once the host has said all.
    EXPECT_EQ(Exchange(port, "abc!de"), "abc!de");
    // More than a packet's worth of them, with nothing sent at once.
    const std::string many(3 * sim::PhoneControl::kHeldReplyLimit + 5, 'x');
    EXPECT_EQ(Exchange(port, many), many);
}

TEST_F(PhonesOverPtys, ADiskFaultShowsOnTheDiskAsTheSystemWouldShowIt) {
    const std::string image = dir_.File("flash.img");
    sim::SimulatedPhone& phone = AddPhone("1-1");
    ASSERT_TRUE(phone.Plug(sim::DiskModeIdentity("S1", image, 8 << 20)));
    const platform::DiskEnumerator disks(tree_.root());
    ASSERT_EQ(disks.WholeDisks().size(), 1u);
    EXPECT_FALSE(disks.WholeDisks()[0].read_only);

    // Read-only at once, and again after a re-plug.
    ASSERT_TRUE(phone.SetDiskFault(sim::DiskFault::kReadOnly)) << phone.error();
    EXPECT_TRUE(disks.WholeDisks().at(0).read_only);
    ASSERT_TRUE(phone.Plug(sim::DiskModeIdentity("S1", image, 8 << 20)));
    EXPECT_TRUE(disks.WholeDisks().at(0).read_only);

    // Gone the moment a writer opens the disk: the open returns only once the phone has left.
    ASSERT_TRUE(phone.SetDiskFault(sim::DiskFault::kUnplugMidWrite)) << phone.error();
    const int reader = open(image.c_str(), O_RDONLY | O_CLOEXEC);  // readers are let through
    ASSERT_GE(reader, 0);
    close(reader);
    EXPECT_TRUE(phone.is_plugged());
    const int writer = open(image.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_FALSE(phone.is_plugged());
    EXPECT_TRUE(disks.WholeDisks().empty());
    close(writer);
}

}  // namespace
}  // namespace fendrel
