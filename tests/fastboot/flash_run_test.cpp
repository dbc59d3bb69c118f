// Whole flashing requests against the simulated device over TCP: the texts a caller receives,
// the order of the steps, and the faults of a real phone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fastboot/flash_run.h"
#include "fastboot/transport/adb_api.h"
#include "sim/fastboot/fastboot_device.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/support/temp_dir.h"

namespace brenlo::testing {
namespace {

using fastboot_sim::Fault;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr const char* kNone = "<none>";

std::string Pattern(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed) % 253);
    return bytes;
}

class FlashRun : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"AMSS", "boot", "userdata", "recovery", "system"})
            device_.AddMemoryPartition(name);
        std::string error;
        ASSERT_TRUE(device_.Start(&error)) << error;
        request_ = log_.owner();
        request_.interface_name = device_.interface_name();
    }

    // An image file with `size` bytes of a pattern.
    std::string Image(const std::string& name, std::size_t size, int seed = 1) {
        const std::string path = folder_.File(name);
        fendrel::testing::WriteFile(path, Pattern(size, seed));
        return path;
    }

    bool Run() { return flash_run(request_, api_, clock_); }

    // For a case of its own: starts `device` with a boot partition and `fault`, and makes a
    // request that flashes a 1000-byte boot image into it, its reports going to `log`.
    flash_request BootRequest(fastboot_sim::FastbootDevice& device, const Fault& fault,
                              ReportLog& log) {
        device.AddMemoryPartition("boot");
        device.AddFault(fault);
        std::string error;
        EXPECT_TRUE(device.Start(&error)) << error;
        flash_request request = log.owner();
        request.interface_name = device.interface_name();
        request.flash_boot = 1;
        request.boot_path = Image("boot.img", 1000);
        return request;
    }

    fastboot_sim::FastbootDevice device_;
    fendrel::testing::TempDir folder_;
    SystemAdbApi api_;
    platform::VirtualClock clock_;
    ReportLog log_;
    flash_request request_{};
};

// The texts for a request that erases and flashes boot, exactly.
TEST_F(FlashRun, EraseAndFlashBootReportsTheseTextsInThisOrder) {
    request_.erase_boot = 1;
    request_.flash_boot = 1;
    request_.boot_path = Image("boot.img", 5000);
    EXPECT_TRUE(Run());
    EXPECT_THAT(log_.reports(), ElementsAre(Report{kNone, 0, 2, "Open device..."},
                                            Report{kNone, 0, 2, "Open device success!"},
                                            Report{kNone, 0, 2, "Start to download Arm11..."},
                                            Report{kNone, 0, 2, "Reset Device..."},
                                            Report{"boot", 1, 2, "erasing 'boot'... "},
                                            Report{"boot", 1, 1, "erasing 'boot' OKAY\n"},
                                            Report{"boot", 2, 2, "sending 'boot' (4 KB)... "},
                                            Report{"boot", 2, 1, "sending 'boot' (4 KB) OKAY\n"},
                                            Report{"boot", 3, 2, "writing 'boot'... "},
                                            Report{"boot", 3, 1, "writing 'boot' OKAY\n"},
                                            Report{"", 0, 2, "rebooting...... "},
                                            Report{"", 0, 2, "rebooting...\n"}));
    EXPECT_THAT(device_.Commands(),
                ElementsAre("erase:boot", "download:00001388", "flash:boot", "reboot"));
    EXPECT_EQ(device_.PartitionContents("boot"), Pattern(5000, 1));
    EXPECT_EQ(device_.reboots(), 1);
}

TEST_F(FlashRun, NothingSelectedStillOpensTheDeviceAndReboots) {
    EXPECT_TRUE(Run());
    EXPECT_THAT(log_.texts(),
                ElementsAre("Open device...", "Open device success!", "Start to download Arm11...",
                            "Reset Device...", "rebooting...... ", "rebooting...\n"));
    EXPECT_THAT(device_.Commands(), ElementsAre("reboot"));
}

TEST_F(FlashRun, EraseOnlyErasesAndReboots) {
    request_.erase_boot = 1;
    EXPECT_TRUE(Run());
    EXPECT_THAT(device_.Commands(), ElementsAre("erase:boot", "reboot"));
}

// A missing image ends the call before anything reaches the phone, queued erases included.
TEST_F(FlashRun, AMissingImageIsReportedAndNothingIsSent) {
    request_.erase_userdata = 1;
    request_.flash_boot = 1;  // and no boot path
    request_.flash_system = 1;
    request_.system_path = Image("system.img", 100);
    EXPECT_FALSE(Run());
    EXPECT_EQ(log_.reports().back(), (Report{kNone, 0, 0, "No boot file!"}));
    EXPECT_THAT(device_.Commands(), IsEmpty());
}

TEST_F(FlashRun, AnUnreadableImageEndsTheCallWithoutATextOfItsOwn) {
    request_.erase_boot = 1;
    request_.flash_boot = 1;
    request_.boot_path = folder_.path();  // a folder exists, but is no image
    EXPECT_FALSE(Run());
    EXPECT_EQ(log_.texts().back(), "Start to download Arm11...");
    EXPECT_THAT(device_.Commands(), IsEmpty());
}

TEST_F(FlashRun, WithoutACallbackTheRequestRunsSilently) {
    request_.callback = nullptr;
    request_.flash_recovery = 1;
    request_.recovery_path = Image("recovery.img", 3000);
    EXPECT_TRUE(Run());
    EXPECT_THAT(log_.reports(), IsEmpty());
    EXPECT_EQ(device_.PartitionContents("recovery"), Pattern(3000, 1));
}

// AMSS always comes first and system last, whatever the order of the record's fields.
TEST_F(FlashRun, StepsFollowThePartitionOrderNotTheFieldOrder) {
    int seed = 0;
    for (const auto& [flash, erase, path, name] :
         {std::tuple{&flash_request::flash_system, &flash_request::erase_system,
                     &flash_request::system_path, "system"},
          {&flash_request::flash_recovery, &flash_request::erase_recovery,
           &flash_request::recovery_path, "recovery"},
          {&flash_request::flash_userdata, &flash_request::erase_userdata,
           &flash_request::userdata_path, "userdata"},
          {&flash_request::flash_boot, &flash_request::erase_boot, &flash_request::boot_path,
           "boot"},
          {&flash_request::flash_amss, &flash_request::erase_amss, &flash_request::amss_path,
           "AMSS"}}) {
        request_.*flash = 1;
        request_.*erase = 1;
        ++seed;
        request_.*path = Image(std::string(name) + ".img", 1024 * seed, seed);
    }
    EXPECT_TRUE(Run());
    EXPECT_THAT(
        device_.Commands(),
        ElementsAreArray({"erase:AMSS", "erase:boot", "erase:userdata", "erase:recovery",
                          "erase:system", "download:00001400", "flash:AMSS", "download:00001000",
                          "flash:boot", "download:00000c00", "flash:userdata", "download:00000800",
                          "flash:recovery", "download:00000400", "flash:system", "reboot"}));
    EXPECT_EQ(device_.PartitionContents("AMSS"), Pattern(5 * 1024, 5));
    EXPECT_EQ(device_.PartitionContents("system"), Pattern(1024, 1));
}

TEST_F(FlashRun, AOneMebibyteImageIsAnnouncedInKilobytesAndHexadecimal) {
    request_.flash_boot = 1;
    request_.boot_path = Image("boot.img", 1048576);
    EXPECT_TRUE(Run());
    EXPECT_THAT(log_.texts(), ::testing::Contains("sending 'boot' (1024 KB)... "));
    EXPECT_THAT(device_.Commands(), ::testing::Contains("download:00100000"));
    EXPECT_EQ(device_.PartitionContents("boot"), Pattern(1048576, 1));
}

// A device that answers the download with another size than the image's fails the sending
// step: nothing is written, the steps after it are not sent, the call returns false.
TEST_F(FlashRun, ADeviceAskingForAnotherSizeThanTheImagesFailsTheSendingStep) {
    const struct {
        std::uint32_t asked;
        const char* reason;
    } cases[] = {
        {100, "data transfer failure (short transfer)"},
        {0, "data transfer failure (short transfer)"},
        {2000, "data size too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        fastboot_sim::FastbootDevice device;
        ReportLog log;
        const flash_request request =
            BootRequest(device, {Fault::Kind::kData, "download", "", 0, c.asked}, log);
        EXPECT_FALSE(flash_run(request, api_, clock_));
        EXPECT_EQ(log.reports().back(),
                  (Report{"boot", BRENLO_STEP_SENDING, BRENLO_LEVEL_FAILURE,
                          "sending 'boot' (0 KB) FAILED (" + std::string(c.reason) + ")\n"}));
        EXPECT_THAT(device.Commands(), ElementsAre("download:000003e8"));
        EXPECT_EQ(device.PartitionContents("boot"), "");
        EXPECT_EQ(device.reboots(), 0);
    }
}

TEST_F(FlashRun, InfoLinesAreReportedWithTheirStepAndTheWaitGoesOn) {
    device_.AddFault({Fault::Kind::kInfo, "flash:boot", "simulated", 2});
    request_.flash_boot = 1;
    request_.boot_path = Image("boot.img", 10);
    EXPECT_TRUE(Run());
    const std::vector<Report>& reports = log_.reports();
    const auto writing =
        std::find(reports.begin(), reports.end(), Report{"boot", 3, 2, "writing 'boot'... "});
    ASSERT_GE(std::distance(writing, reports.end()), 4);
    EXPECT_THAT(std::vector<Report>(writing, writing + 4),
                ElementsAre(Report{"boot", 3, 2, "writing 'boot'... "},
                            Report{"boot", 3, 2, "INFOsimulated 1\n"},
                            Report{"boot", 3, 2, "INFOsimulated 2\n"},
                            Report{"boot", 3, 1, "writing 'boot' OKAY\n"}));
}

// A failed step stops the queue: the steps after it are neither sent nor reported.
TEST_F(FlashRun, AFailedStepStopsTheQueue) {
    const struct {
        Fault fault;
        std::vector<std::string> last_reports;
    } cases[] = {
        {{Fault::Kind::kFail, "erase:boot", "partition locked"},
         {"erasing 'boot'... ", "erasing 'boot' FAILED (remote: partition locked)\n"}},
        {{Fault::Kind::kFail, "erase:boot", ""},
         {"erasing 'boot'... ", "erasing 'boot' FAILED (remote failure)\n"}},
        {{Fault::Kind::kShortReply, "erase:boot", ""},
         {"erasing 'boot'... ", "status malformed (3 bytes)", "erasing 'boot' FAILED ()\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last_reports.back());
        fastboot_sim::FastbootDevice device;
        ReportLog log;
        flash_request request = BootRequest(device, c.fault, log);
        request.erase_boot = 1;
        EXPECT_FALSE(flash_run(request, api_, clock_));
        const std::vector<std::string> texts = log.texts();
        ASSERT_GE(texts.size(), c.last_reports.size());
        EXPECT_EQ(std::vector<std::string>(texts.end() - c.last_reports.size(), texts.end()),
                  c.last_reports);
        EXPECT_EQ(log.reports().back().level, BRENLO_LEVEL_FAILURE);
        EXPECT_THAT(device.Commands(), ElementsAre("erase:boot"));
    }
}

TEST_F(FlashRun, AFailedRebootNamesItsCommand) {
    device_.AddFault({Fault::Kind::kFail, "reboot", "not now"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(log_.reports().back(), (Report{"", 0, 0, "reboot FAILED (remote: not now)\n"}));
}

// A phone pulled out in the middle of the data.
TEST_F(FlashRun, AConnectionDroppedDuringTheDataFailsTheSendingStep) {
    device_.AddFault({Fault::Kind::kDropDownload, "download", "", 0, 64 * 1024});
    request_.flash_boot = 1;
    request_.boot_path = Image("boot.img", 8 * 1024 * 1024);
    EXPECT_FALSE(Run());
    const Report& last = log_.reports().back();
    EXPECT_EQ(last.kind, BRENLO_STEP_SENDING);
    EXPECT_EQ(last.level, BRENLO_LEVEL_FAILURE);
    EXPECT_THAT(last.text, ::testing::StartsWith("sending 'boot' (8192 KB) FAILED ("));
    EXPECT_THAT(device_.Commands(), ElementsAre("download:00800000"));
}

// A silent phone that then vanishes: the wait ends with the read's failure, not never.
TEST_F(FlashRun, ASilentDeviceThatVanishesFailsTheStep) {
    device_.AddFault({Fault::Kind::kSilence, "erase:boot", "", 0, 0, platform::Milliseconds(300)});
    request_.erase_boot = 1;
    EXPECT_FALSE(Run());
    EXPECT_THAT(log_.texts(),
                ::testing::IsSupersetOf(
                    {"status read failed (The handle is invalid.)", "erasing 'boot' FAILED ()\n"}));
    EXPECT_THAT(device_.Commands(), ElementsAre("erase:boot"));
}

// A reply that comes after the first attempt's time-out is taken by a later attempt. The delay is
// well beyond the first attempt's 1,012 ms, so that a host thread held up under load between its
// write and its read still times out once before the reply.
TEST_F(FlashRun, ASlowReplyIsPickedUpByALaterAttempt) {
    device_.AddFault({Fault::Kind::kDelay, "erase:boot", "", 0, 0, platform::Milliseconds(2500)});
    request_.erase_boot = 1;
    EXPECT_TRUE(Run());
    EXPECT_FALSE(clock_.Sleeps().empty());
}

TEST_F(FlashRun, AnInterfaceThatCannotBeOpenedIsReported) {
    std::string unreachable;
    {
        fastboot_sim::FastbootDevice gone;
        std::string error;
        ASSERT_TRUE(gone.Start(&error));
        unreachable = gone.interface_name();
    }
    for (const std::string& name :
         {unreachable, std::string("serial:COM3"), "tcp:" + std::string(300, 'h')}) {
        SCOPED_TRACE(name.substr(0, 40));
        ReportLog log;
        flash_request request = log.owner();
        request.interface_name = name;
        EXPECT_FALSE(flash_run(request, api_, clock_));
        EXPECT_THAT(log.reports(), ElementsAre(Report{kNone, 0, 2, "Open device..."},
                                               Report{kNone, 0, 0, "Open device fail!"}));
    }
}

TEST_F(FlashRun, AnEmptyInterfaceNameEndsAfterTheFirstText) {
    request_.interface_name.clear();
    EXPECT_FALSE(Run());
    EXPECT_THAT(log_.texts(), ElementsAre("Open device..."));
}

struct Throwing {
    static void Callback(std::uintptr_t context, const char*, std::int32_t, std::int32_t,
                         const char* text) {
        auto* texts = reinterpret_cast<std::vector<std::string>*>(context);
        texts->push_back(text);
        if (std::string(text) == "Reset Device...")
            throw std::runtime_error("the caller's own failure");
    }
};

// Whatever escapes a step ends the call with its text, and nothing more is sent.
TEST_F(FlashRun, AnExceptionEndsTheCallWithItsText) {
    std::vector<std::string> texts;
    request_.context = reinterpret_cast<std::uintptr_t>(&texts);
    request_.callback = Throwing::Callback;
    request_.erase_boot = 1;
    EXPECT_FALSE(Run());
    EXPECT_EQ(texts.back(), "Download Arm11 Error!");
    EXPECT_THAT(device_.Commands(), IsEmpty());
}

}  // namespace
}  // namespace brenlo::testing
