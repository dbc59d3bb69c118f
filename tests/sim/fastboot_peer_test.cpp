// The simulated device against Debian's fastboot client, an implementation of the host side
// that owes nothing to ours: flashing (split into sparse pieces when the device takes less than
// the whole image), erasing and rebooting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "sim/fastboot/fastboot_device.h"
#include "tests/support/temp_dir.h"

namespace fastboot_sim {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

// The client waits for ever for a device that does not answer; no run may take longer than this.
constexpr int kClientTimeLimitSeconds = 120;

std::string Pattern(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u + seed;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

class FastbootPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v fastboot > /dev/null"), 0)
            << "the fastboot client is missing: install the Debian package fastboot "
               "(scripts/install-deps.sh does)";
        DeviceOptions options;
        options.max_download_size = 0x100000;  // 1 MiB: larger images come in sparse pieces
        device_ = std::make_unique<FastbootDevice>(options);
        device_->AddMemoryPartition("boot");
        device_->AddMemoryPartition("userdata");
        std::string error;
        ASSERT_TRUE(device_->AddFilePartition("system", folder_.File("system.part"), &error))
            << error;
        ASSERT_TRUE(device_->Start(&error)) << error;
    }

    // Runs the client with `arguments` against the device; its exit status.
    int Client(const std::string& arguments) {
        const std::string command = "timeout " + std::to_string(kClientTimeLimitSeconds) +
                                    " fastboot -s " + device_->interface_name() + " " + arguments +
                                    " > " + folder_.File("client.log") + " 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Image(const std::string& name, std::size_t size, int seed) {
        fendrel::testing::WriteFile(folder_.File(name), Pattern(size, seed));
        return folder_.File(name);
    }

    fendrel::testing::TempDir folder_;
    std::unique_ptr<FastbootDevice> device_;
};

TEST_F(FastbootPeer, TheClientFlashesARawImageThatFits) {
    const std::string boot = Image("boot.img", 300 * 1024 + 7, 1);
    ASSERT_EQ(Client("flash boot " + boot), 0)
        << fendrel::testing::ReadFile(folder_.File("client.log"));
    EXPECT_EQ(device_->PartitionContents("boot"), Pattern(300 * 1024 + 7, 1));
    EXPECT_THAT(device_->Commands(), Contains("download:0004b007"));
}

// Sparse pieces of whole 4 KiB blocks: the client cannot split an image of another size.
TEST_F(FastbootPeer, TheClientFlashesALargerImageInSparsePiecesIntoAFile) {
    const std::size_t size = 3 * 1024 * 1024 + 3 * 4096;
    const std::string system = Image("system.img", size, 2);
    ASSERT_EQ(Client("flash system " + system), 0)
        << fendrel::testing::ReadFile(folder_.File("client.log"));
    EXPECT_EQ(device_->PartitionContents("system"), Pattern(size, 2));
    EXPECT_EQ(fendrel::testing::ReadFile(folder_.File("system.part")), Pattern(size, 2));
    int pieces = 0;
    for (const std::string& command : device_->Commands())
        pieces += command == "flash:system";
    EXPECT_GE(pieces, 4);
}

TEST_F(FastbootPeer, TheClientErasesAndReboots) {
    ASSERT_EQ(Client("flash userdata " + Image("userdata.img", 5000, 3)), 0);
    ASSERT_EQ(device_->PartitionContents("userdata").size(), 5000u);
    ASSERT_EQ(Client("erase userdata"), 0);
    EXPECT_EQ(device_->PartitionContents("userdata"), "");
    ASSERT_EQ(Client("reboot"), 0);
    EXPECT_EQ(device_->reboots(), 1);
}

TEST_F(FastbootPeer, TheClientReadsVariablesAndItsFailures) {
    ASSERT_EQ(Client("getvar max-download-size"), 0);
    EXPECT_THAT(fendrel::testing::ReadFile(folder_.File("client.log")),
                ::testing::HasSubstr("max-download-size: 0x100000"));
    device_->AddFault({Fault::Kind::kFail, "erase:boot", "locked"});
    EXPECT_EQ(Client("erase boot"), 1);
    EXPECT_THAT(fendrel::testing::ReadFile(folder_.File("client.log")),
                ::testing::HasSubstr("remote: 'locked'"));
}

}  // namespace
}  // namespace fastboot_sim
