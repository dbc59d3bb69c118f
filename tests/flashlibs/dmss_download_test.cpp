// Older phones written for real: the plugins' DMSS download routes (a RAM programmer uploaded and
// started, then streaming download or the NOR programmer's commands, or a disk) against simulated
// nand, emmc and nor phones over pseudo-terminals. What the phone holds afterwards is compared
// with the files the test gave the plugin.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/byte_order.h"
#include "qcom/dmss_protocol.h"
#include "qcom/nor_commands.h"
#include "sim/phones/nor_programmer.h"
#include "tests/flashlibs/plugin_run.h"

namespace fendrel::testing {
namespace {

using sim::PhoneFault;

// The programmer's load address in the station's table (flashlibs/support/ram_programmer.h).
constexpr std::uint32_t kTableLoadAddress = 0x00100000;
constexpr int kProgrammerBytes = 24 << 10;

std::string Pattern(std::size_t bytes, unsigned seed) {
    std::string data(bytes, '\0');
    unsigned value = seed * 2654435761u + 1;
    for (char& c : data) {
        value = value * 1103515245u + 12345u;
        c = static_cast<char>(value >> 16);
    }
    return data;
}

// `bin` as Intel HEX at `address`, made by binutils.
bool MakeHex(const std::string& bin, const std::string& hex, std::uint32_t address) {
    const std::string command = "objcopy -I binary -O ihex --change-addresses " +
                                std::to_string(address) + " '" + bin + "' '" + hex + "'";
    return std::system(command.c_str()) == 0;
}

// The NAND set's files and sizes: name, bytes (partition.mbn first).
const std::pair<const char*, std::size_t> kNandFiles[] = {
    {"partition.mbn", 256},   {"qcsblhd_cfgdata.mbn", 1024},
    {"qcsbl.mbn", 20 << 10},  {"oemsblhd.mbn", 40},
    {"oemsbl.mbn", 50 << 10}, {"amsshd.mbn", 40},
    {"amss.mbn", 2 << 20},    {"appshd.mbn", 40},
    {"apps.mbn", 100 << 10},
};
// Where the phone keeps each (sim/phones/nand_programmer.h).
const std::pair<const char*, const char*> kNandKept[] = {
    {"partition.mbn", "partition-table.mbn"},
    {"qcsblhd_cfgdata.mbn", "qcsblhd-cfgdata.mbn"},
    {"qcsbl.mbn", "qcsbl.mbn"},
    {"oemsblhd.mbn", "oemsbl-header.mbn"},
    {"oemsbl.mbn", "oemsbl.mbn"},
    {"amsshd.mbn", "amss-header.mbn"},
    {"amss.mbn", "amss.mbn"},
    {"appshd.mbn", "apps-header.mbn"},
    {"apps.mbn", "apps.mbn"},
};

class DmssDownload : public PluginRun {
  protected:
    void SetUp() override {
        PluginRun::SetUp();
        set = dir.File("set");
        std::filesystem::create_directories(set);
        params.image_folder = set + "/";
    }

    void MakeNandSet(std::size_t amss_bytes = 2 << 20) {
        unsigned seed = 1;
        for (const auto& [name, bytes] : kNandFiles)
            WriteFile(set + "/" + name,
                      Pattern(std::string(name) == "amss.mbn" ? amss_bytes : bytes, seed++));
        WriteFile(set + "/MPRG7627A.bin", Pattern(kProgrammerBytes, 99));
    }
    bool NandAsSent(int phone) const {
        for (const auto& [sent, kept] : kNandKept) {
            if (ReadFile(station.NandFolder(phone) + "/" + kept) != ReadFile(set + "/" + sent))
                return false;
        }
        return true;
    }

    // A run of `phone` that fails: it ends within a bound with `error` (the start of the failed
    // step's text) shown twice, as the report and as the verdict, then END twice.
    void ExpectFailedRun(int phone, const std::string& error) {
        Page page;
        const auto started = Clock::now();
        const Lines texts = Texts(Run(phone, page));
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(30));
        ASSERT_GE(texts.size(), 4u);
        EXPECT_TRUE(texts[texts.size() - 4].starts_with(error)) << ::testing::PrintToString(texts);
        EXPECT_EQ(texts[texts.size() - 3], texts[texts.size() - 4]);
        EXPECT_EQ(Lines(texts.end() - 2, texts.end()), (Lines{"END", "END"}));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 0);
    }

    std::string set;
};

TEST_F(DmssDownload, ANandPhoneIsWrittenEndToEnd) {
    MakeNandSet();
    const int phone = AddPhone("nand");
    Page page;
    const Lines texts = Texts(Run(phone, page));
    const std::string programmer = Hex(kProgrammerBytes);
    // The texts that come once (the Amss row's steps and the further image's come as they go).
    const Lines expected = {
        "START",
        "STATUS Detecting phone...",
        "STATUS Download ram(0x400/" + programmer + ")...",
        "STATUS Download ram(" + programmer + "/" + programmer + ")...",
        "STATUS Running ram...",
        "STATUS Downloading Partition Table file(0x100/0x100)...",
        "STATUS Downloading Qcs header file...",
        "STATUS Downloading Qcs Boot Loader file(0x5000/0x5000)...",
        "STATUS Downloading Oem header file...",
        "STATUS Downloading Oem Boot Loader file(0xc800/0xc800)...",
        "STATUS Downloading modul(0x0/0x19000)...",
        "STATUS Downloading modul(0x19000/0x19000)...",
        "STATUS Downloading Amss header file...",
    };
    ASSERT_GE(texts.size(), expected.size()) << ::testing::PrintToString(texts);
    EXPECT_EQ(Lines(texts.begin(), texts.begin() + expected.size()), expected)
        << ::testing::PrintToString(texts);
    const Lines expected_end = {"STATUS Downloading Amss file(0x200000/0x200000)...",
                                "STATUS Wait the phone to restart...", "SUCCESS", "END", "END"};
    EXPECT_EQ(Lines(texts.end() - static_cast<std::ptrdiff_t>(expected_end.size()), texts.end()),
              expected_end)
        << ::testing::PrintToString(texts);
    // Between them only the Amss row's steps.
    for (auto line = texts.begin() + expected.size();
         line < texts.end() - static_cast<std::ptrdiff_t>(expected_end.size()); ++line) {
        EXPECT_TRUE(line->starts_with("STATUS Downloading Amss file(") ||
                    line->starts_with("STATUS Downloading modul("))
            << *line;
    }
    EXPECT_EQ(steps.Count("mass-storage"), 0);  // the phone shows no disk: the plugin's verdict

    const std::vector<int> progress = page.Progress();
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GT(progress.size(), 10u);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1)
        << ::testing::PrintToString(progress);
    EXPECT_TRUE(NandAsSent(phone));
    EXPECT_TRUE(PluggedAs(phone, sim::kNormalModeProduct));

    // Written again with a shorter image, the phone holds that one alone.
    MakeNandSet(1 << 20);
    ASSERT_TRUE(station.Plug(phone, sim::kDownloadModeProduct)) << station.error();
    Page again;
    const Lines again_texts = Texts(Run(phone, again));
    EXPECT_EQ(std::count(again_texts.begin(), again_texts.end(), "SUCCESS"), 1)
        << ::testing::PrintToString(again_texts);
    EXPECT_TRUE(NandAsSent(phone));
}

TEST_F(DmssDownload, AMissingFileIsNamedBeforeThePhoneIsTouched) {
    const struct {
        const char* removed;
        std::string error;
    } cases[] = {
        {"MPRG7627A.bin", "ERROR Can not find ram file!"},
        {"partition.mbn", "ERROR Can not find partition table file!"},
        {"qcsbl.mbn", "ERROR Can not find Qcs Boot Loader file!"},
        {"oemsblhd.mbn", "ERROR Can not find Oem header file!"},
        {"amss.mbn", "ERROR Can not find Amss file!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.removed);
        MakeNandSet();
        std::filesystem::remove(set + "/" + c.removed);
        const int phone = AddPhone("nand");
        Page page;
        const Lines texts = Texts(Run(phone, page));
        EXPECT_EQ(Lines(texts.end() - 4, texts.end()), (Lines{c.error, c.error, "END", "END"}))
            << ::testing::PrintToString(texts);
        const std::vector<std::uint8_t> received = station.talk(phone).received();
        EXPECT_EQ(std::count(received.begin(), received.end(), qcom::dmss::kWrite32), 0);
    }
}

TEST_F(DmssDownload, EachFaultEndsWithItsTextInTime) {
    MakeNandSet();
    const std::string programmer = Hex(kProgrammerBytes);
    const struct {
        PhoneFault fault;
        std::optional<std::uint8_t> command;
        std::string error;  // the start of the last text before the verdict
    } cases[] = {
        {PhoneFault::kSilent, std::nullopt, "ERROR Download ram fail!(0x0/" + programmer + ")"},
        {PhoneFault::kNak, 0x05, "ERROR Download ram fail!(" + programmer + "/" + programmer + ")"},
        {PhoneFault::kTableDiffers, std::nullopt,
         "ERROR Download Partition Table file fail(0x0/0x100)!"},
        {PhoneFault::kErrorMidWrite, std::nullopt,
         "ERROR Download Qcs Boot Loader file fail(0x2000/0x5000)!"},
        {PhoneFault::kUnplugMidStream, std::nullopt, "ERROR Download Qcs Boot Loader file fail("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const int phone = AddPhone("nand");
        station.talk(phone).SetFault(c.fault, c.command);
        ExpectFailedRun(phone, c.error);
    }
}

TEST_F(DmssDownload, AnImageTheFlashCannotKeepFailsAtItsClose) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to stand for a flash that takes nothing";
    MakeNandSet();
    const int phone = AddPhone("nand");
    // The QCSBL's blocks are taken into the phone's buffer and answered; keeping them fails.
    std::filesystem::create_directories(station.NandFolder(phone));
    std::filesystem::create_symlink("/dev/full", station.NandFolder(phone) + "/qcsbl.mbn");
    ExpectFailedRun(phone, "ERROR Download Qcs Boot Loader file fail(0x5000/0x5000)!");
}

TEST_F(DmssDownload, ATableThatDiffersIsOverriddenOnlyWhenErasing) {
    MakeNandSet();
    const int phone = AddPhone("nand");
    station.talk(phone).SetFault(PhoneFault::kTableDiffers);
    params.erase_efs = 1;
    Page page;
    const Lines texts = Texts(Run(phone, page));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
        << ::testing::PrintToString(texts);
    EXPECT_TRUE(NandAsSent(phone));
}

TEST_F(DmssDownload, StopMidStreamEndsTheRunWithinASecond) {
    MakeNandSet(24 << 20);
    const int phone = AddPhone("nand");
    Page page;
    std::unique_ptr<CDownloadThread> worker = Worker(phone, page);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(page.WaitFor(
        [](const std::string& line) { return line.starts_with("STATUS Downloading Amss file"); }));
    const auto stopped = Clock::now();
    worker->Stop();
    ASSERT_TRUE(page.WaitFor([](const std::string& line) { return line == "END"; }));
    EXPECT_LT(page.ended_at() - stopped, std::chrono::seconds(1));
    const Lines texts = Texts(page.lines());
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 0);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& line) {
        return line.starts_with("ERROR Download Amss file fail(");
    })) << ::testing::PrintToString(texts);
}

// The page's converter drops nothing of a programmer made of full records: what the phone holds
// after the upload is the binary objcopy made the HEX from, at the HEX's address.
TEST_F(DmssDownload, AnEmmcProgrammerFromHexIsUploadedByteForByteAndShowsTheDisk) {
    constexpr std::uint32_t kAddress = 0x08000000;
    const std::string binary = Pattern(kProgrammerBytes, 7);
    WriteFile(dir.File("programmer.bin"), binary);
    ASSERT_TRUE(MakeHex(dir.File("programmer.bin"), set + "/MPRG8X25.hex", kAddress));
    WriteFile(set + "/rawprogram0.xml", "<data/>");
    params.flash_type = "EMMC";
    params.version_folder = set;
    const int phone = AddPhone("emmc");
    // The raw-disk route's turn comes once the phone shows its disk.
    bool disk_shown = false;
    mass_storage.action = [&](CDownloadThread&) {
        disk_shown = PluggedAs(phone, sim::kDiskModeProduct);
        return true;
    };
    Page page;
    const Lines texts = Texts(Run(phone, page));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "STATUS Running ram..."), 1)
        << ::testing::PrintToString(texts);
    EXPECT_TRUE(disk_shown);
    EXPECT_EQ(steps.Count("mass-storage"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1);
    const sim::TalkingPhone::Upload upload = station.talk(phone).upload();
    EXPECT_EQ(upload.address, kAddress);
    EXPECT_EQ(std::string(upload.bytes.begin(), upload.bytes.end()), binary);
    EXPECT_TRUE(upload.started);
}

class NorDownload : public DmssDownload {
  protected:
    void SetUp() override {
        DmssDownload::SetUp();
        WriteFile(dir.File("nprg.bin"), Pattern(kProgrammerBytes, 3));
        ASSERT_TRUE(MakeHex(dir.File("nprg.bin"), set + "/NPRG6270.hex", kTableLoadAddress));
        WriteFile(set + "/boot.img", boot);
        WriteFile(set + "/app1.img", app1);
        WriteFile(set + "/app2.img", app2);
        params.flash_type = "NOR";
        params.version_folder = set;
        params.boot_path = set + "/boot.img";
        params.app_path = set + "/app1.img";
        // The phone's EFS holds data of its own.
        std::string flash(sim::kNorFlashBytes, '\xFF');
        std::fill_n(flash.begin() + sim::kNorBootBytes, sim::kNorEfsBytes, '\x5A');
        WriteFile(station.NorImage(1), flash);
    }

    const std::string boot = Pattern(40 << 10, 11);
    const std::string app1 = Pattern(300 << 10, 12), app2 = Pattern(70000, 13);
};

TEST_F(NorDownload, AppAndBootAreWrittenWithAndWithoutTheEfsErase) {
    const int phone = AddPhone("nor");
    for (const bool erase_efs : {false, true}) {
        SCOPED_TRACE(erase_efs ? "EFS erased" : "EFS kept");
        params.erase_efs = erase_efs ? 1 : 0;
        ASSERT_TRUE(station.Plug(phone, sim::kDownloadModeProduct));
        ASSERT_TRUE(PluggedAs(phone, sim::kDownloadModeProduct));
        Page page;
        std::unique_ptr<CDownloadThread> worker = Worker(phone, page);
        worker->app_image_list() = {params.app_path, set + "/app2.img"};
        static_cast<CThreadBase&>(*worker).Run();
        const Lines texts = Texts(page.lines());
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
            << ::testing::PrintToString(texts);
        const bool efs_reported = std::any_of(texts.begin(), texts.end(), [](const std::string& l) {
            return l.starts_with("STATUS Erasing EFS(");
        });
        EXPECT_EQ(efs_reported, erase_efs);
        const std::vector<int> progress = page.Progress();
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), 100);

        const std::string flash = ReadFile(station.NorImage(phone));
        const std::string app = app1 + app2;
        const std::size_t app_at = sim::kNorBootBytes + sim::kNorEfsBytes + sim::kNorChecksumBytes;
        EXPECT_EQ(flash.substr(0, boot.size()), boot);
        EXPECT_EQ(flash.substr(app_at, app.size()), app);
        EXPECT_EQ(flash.substr(sim::kNorBootBytes, sim::kNorEfsBytes),
                  std::string(sim::kNorEfsBytes, erase_efs ? '\xFF' : '\x5A'));
        const auto* checksum = reinterpret_cast<const std::uint8_t*>(
            flash.data() + sim::kNorBootBytes + sim::kNorEfsBytes);
        EXPECT_EQ(
            platform::LoadLe32(checksum),
            qcom::NorChecksum({reinterpret_cast<const std::uint8_t*>(app.data()), app.size()}));
        EXPECT_EQ(platform::LoadLe32(checksum + 4), app.size());
        EXPECT_TRUE(PluggedAs(phone, sim::kNormalModeProduct));
    }
}

TEST_F(NorDownload, EachFaultEndsWithItsTextAndLeavesTheAppUnwritten) {
    const struct {
        const char* name;
        PhoneFault fault;
        std::size_t boot_bytes;
        std::string error;  // the start of the last text before the verdict
    } cases[] = {
        {"refused write", PhoneFault::kErrorMidWrite, boot.size(),
         "ERROR Download boot fail!(0x2000/0xa000)"},
        {"unplugged", PhoneFault::kUnplugMidStream, boot.size(), "ERROR Download boot fail!("},
        {"boot larger than the boot block", PhoneFault::kNone, sim::kNorBootBytes + 1,
         "ERROR Set BBINFO fail!"},
    };
    const int phone = AddPhone("nor");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(params.boot_path, Pattern(c.boot_bytes, 11));
        ASSERT_TRUE(station.Plug(phone, sim::kDownloadModeProduct));
        ASSERT_TRUE(PluggedAs(phone, sim::kDownloadModeProduct));
        station.talk(phone).SetFault(c.fault);
        ExpectFailedRun(phone, c.error);
        // Nothing after the failed step was touched: the app area is still erased.
        const std::string flash = ReadFile(station.NorImage(phone));
        const std::size_t app_at = sim::kNorBootBytes + sim::kNorEfsBytes + sim::kNorChecksumBytes;
        ASSERT_EQ(flash.size(), sim::kNorFlashBytes);
        EXPECT_EQ(flash.find_first_not_of('\xFF', app_at), std::string::npos);
    }
}

}  // namespace
}  // namespace fendrel::testing
