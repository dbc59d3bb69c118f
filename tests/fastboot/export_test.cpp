// libbrenlo.so as an outside caller sees it: loaded at run time, one export, a request run
// through it, and brenlo-flash on top.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fastboot/brenlo.h"
#include "sim/fastboot/fastboot_device.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/support/temp_dir.h"

namespace brenlo::testing {
namespace {

using ::testing::ElementsAre;

class Library {
  public:
    Library() : handle_(dlopen(BRENLO_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    void* handle() const { return handle_; }

  private:
    void* handle_;
};

TEST(BrenloExport, TheLibraryExportsBrenloAlone) {
    Library library;
    ASSERT_NE(library.handle(), nullptr) << dlerror();
    EXPECT_NE(dlsym(library.handle(), "Brenlo"), nullptr);
    for (const char* hidden :
         {"_ZN6brenlo9flash_runERK13flash_requestRNS_6AdbApiERN8platform5ClockE",
          "_ZN6brenlo11device_openEPKwRNS_6AdbApiERN8platform5ClockE",
          "_ZN6brenlo12SystemAdbApi24AdbCreateInterfaceByNameEPKw"})
        EXPECT_EQ(dlsym(library.handle(), hidden), nullptr) << hidden;
}

class BrenloThroughTheExport : public ::testing::Test {
  protected:
    void SetUp() override {
        device_.AddMemoryPartition("boot");
        std::string error;
        ASSERT_TRUE(device_.Start(&error)) << error;
        boot_image_ = folder_.File("boot.img");
        fendrel::testing::WriteFile(boot_image_, std::string(4096, 'b'));
    }

    fastboot_sim::FastbootDevice device_;
    fendrel::testing::TempDir folder_;
    std::string boot_image_;
};

TEST_F(BrenloThroughTheExport, FlashesAndLeavesTheCallersRecordAsItWas) {
    Library library;
    ASSERT_NE(library.handle(), nullptr) << dlerror();
    const auto run =
        reinterpret_cast<bool (*)(const flash_request*)>(dlsym(library.handle(), "Brenlo"));
    ASSERT_NE(run, nullptr);

    ReportLog log;
    flash_request request = log.owner();
    request.flash_boot = 1;
    request.boot_path = boot_image_;
    request.interface_name = device_.interface_name();
    const flash_request before = request;
    EXPECT_TRUE(run(&request));
    EXPECT_EQ(log.texts().back(), "rebooting...\n");
    EXPECT_EQ(device_.PartitionContents("boot"), std::string(4096, 'b'));
    EXPECT_EQ(request.boot_path, before.boot_path);
    EXPECT_EQ(request.interface_name, before.interface_name);
    EXPECT_EQ(request.context, before.context);

    EXPECT_FALSE(run(nullptr));
}

// Runs brenlo-flash with `arguments`; its exit status, and its standard output in `output`.
int RunTool(const std::string& arguments, std::string* output) {
    const std::string command = std::string(BRENLO_FLASH_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(BrenloThroughTheExport, BrenloFlashPrintsEveryTextWithItsLevelKindAndPartition) {
    std::string output;
    EXPECT_EQ(
        RunTool("-s " + device_.interface_name() + " --flash boot " + boot_image_ + " --erase BOOT",
                &output),
        0);
    EXPECT_EQ(output,
              "progress none    -        | Open device...\n"
              "progress none    -        | Open device success!\n"
              "progress none    -        | Start to download Arm11...\n"
              "progress none    -        | Reset Device...\n"
              "progress erase   boot     | erasing 'boot'... \n"
              "okay     erase   boot     | erasing 'boot' OKAY\n"
              "progress sending boot     | sending 'boot' (4 KB)... \n"
              "okay     sending boot     | sending 'boot' (4 KB) OKAY\n"
              "progress writing boot     | writing 'boot'... \n"
              "okay     writing boot     | writing 'boot' OKAY\n"
              "progress none    ''       | rebooting...... \n"
              "progress none    ''       | rebooting...\n");
    EXPECT_THAT(device_.Commands(),
                ElementsAre("erase:boot", "download:00001000", "flash:boot", "reboot"));
}

TEST_F(BrenloThroughTheExport, BrenloFlashTellsFailuresByItsExitStatus) {
    std::string output;
    EXPECT_EQ(RunTool("-s " + device_.interface_name() + " --flash boot " + boot_image_ +
                          " --erase boot --silent",
                      &output),
              0);
    EXPECT_EQ(output, "");

    fastboot_sim::FastbootDevice locked;
    locked.AddMemoryPartition("boot");
    locked.AddFault({fastboot_sim::Fault::Kind::kFail, "erase:boot", "locked"});
    std::string error;
    ASSERT_TRUE(locked.Start(&error)) << error;
    output.clear();
    EXPECT_EQ(RunTool("-s " + locked.interface_name() + " --erase boot", &output), 1);
    EXPECT_THAT(output,
                ::testing::EndsWith("failure  erase   boot     | erasing 'boot' FAILED (remote: "
                                    "locked)\n"));

    for (const char* bad : {"", "--erase boot", "-s tcp:x --erase cache", "-s tcp:x --flash boot",
                            "-s tcp:x --library /nonexistent/libbrenlo.so"}) {
        SCOPED_TRACE(bad);
        output.clear();
        EXPECT_EQ(RunTool(bad, &output), 2);
        EXPECT_THAT(output, ::testing::HasSubstr("brenlo-flash"));
    }
}

// The library refuses these images without a text of its own: the tool names each one and why,
// and does not call the library at all.
TEST_F(BrenloThroughTheExport, BrenloFlashNamesEveryImageItCannotUse) {
    const std::string empty = folder_.File("empty.img");
    fendrel::testing::WriteFile(empty, "");
    const std::string fifo = folder_.File("pipe.img");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = folder_.File("huge.img");
    fendrel::testing::WriteFile(huge, "");
    std::filesystem::resize_file(huge, std::uintmax_t{1} << 31);  // sparse: takes no room
    const std::string missing = folder_.File("missing.img");
    const std::string folder = folder_.path();

    std::string output;
    EXPECT_EQ(
        RunTool("-s " + device_.interface_name() + " --flash AMSS " + empty + " --flash boot " +
                    folder + " --flash userdata " + fifo + " --flash recovery " + missing +
                    " --flash system " + huge + " --erase boot",
                &output),
        1);
    EXPECT_EQ(output, "brenlo-flash: AMSS image '" + empty + "': is empty\n" +
                          "brenlo-flash: boot image '" + folder +
                          "': is a folder, not an image file\n" + "brenlo-flash: userdata image '" +
                          fifo + "': is not a regular file\n" + "brenlo-flash: recovery image '" +
                          missing + "': no such file\n" + "brenlo-flash: system image '" + huge +
                          "': holds 2147483648 bytes, more than the 2147483647 an image may "
                          "hold\n");
    EXPECT_THAT(device_.Commands(), ::testing::IsEmpty());
}

TEST(BrenloFlash, PrintsItsUsageWhenAskedForHelp) {
    for (const char* help : {"--help", "-h", "-s tcp:x -h"}) {
        SCOPED_TRACE(help);
        std::string output;
        EXPECT_EQ(RunTool(help, &output), 0);
        EXPECT_THAT(output, ::testing::StartsWith("usage: brenlo-flash -s INTERFACE"));
        EXPECT_THAT(output, ::testing::HasSubstr("Exit status:"));
    }
}

}  // namespace
}  // namespace brenlo::testing
