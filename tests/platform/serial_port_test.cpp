// The serial port on pseudo-terminals: the test plays the phone on the master side.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/device_enumerator.h"
#include "platform/event.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/pseudo_terminal.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;

// Long enough for any machine to deliver bytes already written; only waits that must time out
// use kNothingComes.
constexpr Milliseconds kArrives(10000);
constexpr Milliseconds kNothingComes(20);
constexpr unsigned kBaud = 115200;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Everything the master side has to read within kArrives, up to `size` bytes.
std::string ReadMaster(int master, std::size_t size) {
    std::string got;
    while (got.size() < size) {
        pollfd entry{master, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(kArrives.count())) <= 0)
            break;
        char chunk[4096];
        const ssize_t n = read(master, chunk, std::min(sizeof chunk, size - got.size()));
        if (n <= 0)
            break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

std::string ReadPort(SerialPort& port, std::size_t size) {
    const ManualResetEvent stop;
    std::string got;
    while (got.size() < size && port.WaitReadable(stop, kArrives) == IoStatus::kOk) {
        std::uint8_t chunk[4096];
        const IoResult result = port.Read(chunk);
        if (result.status != IoStatus::kOk)
            break;
        got.append(reinterpret_cast<char*>(chunk), result.bytes);
    }
    return got;
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(phone_.Open(&error)) << error;
        ASSERT_EQ(port_.Open(phone_.slave_path(), kBaud), OpenStatus::kOpened) << port_.error();
    }

    sim::PseudoTerminal phone_;
    SerialPort port_;
    ManualResetEvent stop_;
};

TEST_F(SerialPortTest, CarriesEveryByteValueUntranslatedBothWays) {
    std::string all;
    for (int value = 0; value < 256; ++value)
        all += static_cast<char>(value);
    all += "\r\n\x03\x11\x13\x7e\x7d";  // line ends, ^C, XON, XOFF, HDLC flag and escape

    ASSERT_EQ(write(phone_.master_fd(), all.data(), all.size()), static_cast<ssize_t>(all.size()));
    EXPECT_EQ(ReadPort(port_, all.size()), all);
    // Nothing came back to the phone: no echo.
    pollfd entry{phone_.master_fd(), POLLIN, 0};
    EXPECT_EQ(poll(&entry, 1, static_cast<int>(kNothingComes.count())), 0);

    const IoResult sent = port_.Write(Bytes(all), stop_, kArrives);
    EXPECT_EQ(sent.status, IoStatus::kOk);
    EXPECT_EQ(sent.bytes, all.size());
    EXPECT_EQ(ReadMaster(phone_.master_fd(), all.size()), all);
}

TEST_F(SerialPortTest, ReadsWhatIsBufferedWithoutWaiting) {
    std::uint8_t buffer[16];
    const IoResult empty = port_.Read(buffer);
    EXPECT_EQ(empty.status, IoStatus::kOk);
    EXPECT_EQ(empty.bytes, 0u);

    EXPECT_EQ(port_.WaitReadable(stop_, kNothingComes), IoStatus::kTimeout);
    ASSERT_EQ(write(phone_.master_fd(), "abc", 3), 3);
    ASSERT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kOk);
    const IoResult got = port_.Read(std::span(buffer, 2));  // less than is buffered
    EXPECT_EQ(got.bytes, 2u);
    EXPECT_EQ(port_.Read(buffer).bytes, 1u);
}

TEST_F(SerialPortTest, PurgeDiscardsWhatThePhoneSent) {
    ASSERT_EQ(write(phone_.master_fd(), "stale", 5), 5);
    ASSERT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kOk);
    EXPECT_TRUE(port_.Purge());
    EXPECT_EQ(port_.WaitReadable(stop_, kNothingComes), IoStatus::kTimeout);
}

TEST_F(SerialPortTest, TheStopEventEndsWaits) {
    stop_.Set();
    EXPECT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kStopped);
    // The stop event wins over data that is there too.
    ASSERT_EQ(write(phone_.master_fd(), "x", 1), 1);
    EXPECT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kStopped);
}

TEST_F(SerialPortTest, AStalledWriteEndsByTimeOutOrStop) {
    // The phone reads nothing, so the line fills up.
    const std::string block(1 << 20, 'w');
    const IoResult timed_out = port_.Write(Bytes(block), stop_, kNothingComes);
    EXPECT_EQ(timed_out.status, IoStatus::kTimeout);
    EXPECT_GT(timed_out.bytes, 0u);
    EXPECT_LT(timed_out.bytes, block.size());

    stop_.Set();
    const IoResult stopped = port_.Write(Bytes(block), stop_, kArrives);
    EXPECT_EQ(stopped.status, IoStatus::kStopped);
}

TEST_F(SerialPortTest, AVanishedDeviceIsGoneForEveryCall) {
    phone_.Close();
    EXPECT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kGone);
    std::uint8_t buffer[4];
    EXPECT_EQ(port_.Read(buffer).status, IoStatus::kGone);
    EXPECT_EQ(port_.Read(buffer).status, IoStatus::kGone);  // not an empty read, ever
    EXPECT_EQ(port_.Write(Bytes("x"), stop_, kArrives).status, IoStatus::kGone);
    EXPECT_FALSE(port_.Purge());
    EXPECT_NE(port_.error().find("went away"), std::string::npos);
}

TEST_F(SerialPortTest, AReadThatFindsTheHangUpFirstIsGoneToo) {
    phone_.Close();
    std::uint8_t buffer[4];
    EXPECT_EQ(port_.Read(buffer).status, IoStatus::kGone);
    EXPECT_EQ(port_.WaitReadable(stop_, kArrives), IoStatus::kGone);
}

// Whether the tty is in exclusive mode, as another program would find it.
bool IsExclusive(const std::string& node) {
    const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);  // root may, anyway
    int exclusive = -1;
    if (fd >= 0) {
        ioctl(fd, TIOCGEXCL, &exclusive);
        close(fd);
    }
    return exclusive == 1;
}

TEST_F(SerialPortTest, OpeningIsExclusiveUntilClosed) {
    SerialPort second;
    EXPECT_EQ(second.Open(phone_.slave_path(), kBaud), OpenStatus::kInUse);
    EXPECT_FALSE(second.is_open());
    // A refused open leaves the holder's exclusive mode alone.
    EXPECT_TRUE(IsExclusive(phone_.slave_path()));
    port_.Close();
    EXPECT_FALSE(IsExclusive(phone_.slave_path()));
    EXPECT_EQ(second.Open(phone_.slave_path(), kBaud), OpenStatus::kOpened) << second.error();
    EXPECT_EQ(port_.Open(phone_.slave_path(), kBaud), OpenStatus::kInUse);
}

TEST(SerialPortOpen, NamesThatLeadNowhere) {
    TempDir dir;
    const DeviceEnumerator devices(dir.File("sys"), SettingsStore(dir.File("registry")));
    SerialPort port;
    EXPECT_EQ(port.Open("COM7", kBaud, devices), OpenStatus::kNotFound);
    EXPECT_NE(port.error().find("COM7"), std::string::npos);
    EXPECT_EQ(port.Open("/dev/nonexistent-tty", kBaud, devices), OpenStatus::kNotFound);
    EXPECT_EQ(port.Open("/dev/null", kBaud, devices), OpenStatus::kFailed);
    EXPECT_FALSE(port.is_open());
    std::uint8_t buffer[1];
    EXPECT_EQ(port.Read(buffer).status, IoStatus::kError);
}

TEST(SerialPortOpen, ByComNameThroughTheDeviceTree) {
    TempDir dir;
    sim::FakeDeviceTree tree(dir.File("sys"));
    sim::PseudoTerminal phone;
    ASSERT_TRUE(phone.Open());
    sim::UsbIdentity identity = sim::DownloadModeIdentity("A1");
    identity.interfaces[0].node = phone.slave_path();
    ASSERT_TRUE(tree.Add("1-4", identity)) << tree.error();
    const DeviceEnumerator devices(tree.root(), SettingsStore(dir.File("registry")));
    const auto listed = devices.PresentDevices(DeviceClass::kPorts);
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_EQ(listed[0].port_name, "COM1");

    for (const char* name : {"COM1", "com1", "\\\\.\\COM1"}) {
        SerialPort port;
        ASSERT_EQ(port.Open(name, kBaud, devices), OpenStatus::kOpened) << name << port.error();
        EXPECT_EQ(port.device_path(), phone.slave_path());
        const ManualResetEvent stop;
        EXPECT_EQ(port.Write(Bytes("hi"), stop, kArrives).bytes, 2u);
        EXPECT_EQ(ReadMaster(phone.master_fd(), 2), "hi");
    }
}

}  // namespace
}  // namespace platform
