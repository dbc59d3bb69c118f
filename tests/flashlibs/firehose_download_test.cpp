// Phones written for real: workers with the product's channels, serial links and plugin loader
// run the real libNandMulDL.so and libEmmc.so against simulated firehose phones over
// pseudo-terminals. Each written eMMC is compared byte for byte with the disk the image set's
// maker works out on its own from the layout it made (never by reading the XML the plugin reads).
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/imageset/image_set.h"
#include "sim/phones/phone_modes.h"
#include "tests/engine/worker_doubles.h"
#include "tests/flashlibs/plugin_run.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using sim::PhoneFault;

constexpr std::uint64_t kDiskBytes = 32 << 20;
constexpr std::uint64_t kDataBytes = 4 << 20;
// The stand-in programmer: its ELF headers and 96 KiB of code, of which the phone asks for the
// ELF header, the program header and the code.
constexpr int kProgrammerBytes = 0x1000 + (96 << 10);
constexpr int kProgrammerAsked = 52 + 32 + (96 << 10);
// The partition tables: 34 sectors at the start, 33 at the end.
constexpr int kTableBytes = (34 + 33) * 512;

class FirehoseDownload : public PluginRun {
  protected:
    FirehoseDownload() : PluginRun(kDiskBytes) {}

    void SetUp() override {
        PluginRun::SetUp();
        options.folder = dir.File("set");
        options.disk_bytes = kDiskBytes;
        options.data_bytes = kDataBytes;
        std::string error;
        ASSERT_TRUE(sim::MakeImageSet(options, error)) << error;
        ASSERT_TRUE(sim::WriteExpectedDisk(options, dir.File("expected.img"), error)) << error;
        // Not a version folder: the plugin looks in its VERSION subfolder, then here.
        params.image_folder = options.folder + "/";
    }

    // A firehose phone in download mode; returns its number.
    int AddPhone(sim::PhoneProfile profile = {}) {
        return PluginRun::AddPhone("firehose", profile);
    }
    bool DiskAsExpected(int number) const {
        return ReadFile(station.DiskImage(number)) == ReadFile(dir.File("expected.img"));
    }

    sim::ImageSetOptions options;
};

TEST_F(FirehoseDownload, APhoneIsWrittenEndToEndAndRestarts) {
    const int phone = AddPhone();
    Page page;
    const Lines lines = Run(phone, page);
    const Lines texts = Texts(lines);
    ASSERT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
        << ::testing::PrintToString(texts);
    const Lines expected_start = {
        "START",
        "STATUS Detecting phone...",
        "STATUS Download ram(0x34/" + Hex(kProgrammerBytes) + ")...",
        "STATUS Download ram(" + Hex(kProgrammerAsked) + "/" + Hex(kProgrammerBytes) + ")...",
        "STATUS Running ram...",
        "STATUS Downloading Partition Table file(0x4400/" + Hex(kTableBytes) + ")...",
    };
    ASSERT_GE(texts.size(), expected_start.size());
    EXPECT_EQ(Lines(texts.begin(), texts.begin() + expected_start.size()), expected_start);
    const Lines expected_end = {
        "STATUS Downloading Partition Table file(" + Hex(kTableBytes) + "/" + Hex(kTableBytes) +
            ")...",
        "STATUS Writing checksum...",
        "STATUS Downloading Amss file(" + Hex(kDataBytes) + "/" + Hex(kDataBytes) + ")...",
        "STATUS Wait the phone to restart...",
        "SUCCESS",
        "END",
    };
    EXPECT_EQ(Lines(texts.end() - static_cast<std::ptrdiff_t>(expected_end.size()), texts.end()),
              expected_end);

    const std::vector<int> progress = page.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1);
    EXPECT_GT(progress.size(), 5u);

    EXPECT_TRUE(DiskAsExpected(phone));
    EXPECT_TRUE(PluggedAs(phone, sim::kNormalModeProduct));
}

TEST_F(FirehoseDownload, VerifiesByReadingBackWhereThePhoneHasNoDigestAndTakesSmallPieces) {
    sim::PhoneProfile profile;
    profile.largest_raw_piece = 16 << 10;
    const int phone = AddPhone(profile);
    station.talk(phone).SetFault(PhoneFault::kNoDigest);
    params.flash_type = "EMMC";  // libEmmc.so, its version folder the image set's own
    params.version_folder = options.folder;
    Page page;
    const Lines texts = Texts(Run(phone, page));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
        << ::testing::PrintToString(texts);
    EXPECT_TRUE(DiskAsExpected(phone));
}

TEST_F(FirehoseDownload, EachFaultEndsWithItsTextInTime) {
    struct Case {
        PhoneFault fault;
        std::string error;  // the last text before the verdict
        std::chrono::seconds bound;
    };
    const std::string table_failed = "ERROR Download Partition Table file fail(";
    const Case cases[] = {
        {PhoneFault::kSilent, "ERROR Download ram fail!(0x0/" + Hex(kProgrammerBytes) + ")",
         std::chrono::seconds(30)},
        {PhoneFault::kRefuseProgrammer,
         "ERROR Download ram fail!(" + Hex(kProgrammerAsked) + "/" + Hex(kProgrammerBytes) + ")",
         std::chrono::seconds(20)},
        {PhoneFault::kNak, table_failed + "0x0/" + Hex(kTableBytes) + ")!",
         std::chrono::seconds(20)},
        {PhoneFault::kBadDigest, table_failed + "0x4400/" + Hex(kTableBytes) + ")!",
         std::chrono::seconds(20)},
        {PhoneFault::kUnplugMidProgram, table_failed + "0x0/" + Hex(kTableBytes) + ")!",
         std::chrono::seconds(20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const int phone = AddPhone();
        station.talk(phone).SetFault(c.fault);
        Page page;
        const auto started = Clock::now();
        const Lines texts = Texts(Run(phone, page));
        EXPECT_LT(Clock::now() - started, c.bound);
        // The plugin's report, then the run's verdict (the page reads the same text), END twice.
        ASSERT_GE(texts.size(), 4u);
        EXPECT_EQ(Lines(texts.end() - 4, texts.end()), (Lines{c.error, c.error, "END", "END"}))
            << ::testing::PrintToString(texts);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 0);
    }
}

TEST_F(FirehoseDownload, StopMidProgramEndsTheRunWithinASecondAndTheNextRunFinishes) {
    options.data_bytes = 24 << 20;
    std::string error;
    ASSERT_TRUE(sim::MakeImageSet(options, error)) << error;
    ASSERT_TRUE(sim::WriteExpectedDisk(options, dir.File("expected.img"), error)) << error;
    const int phone = AddPhone();
    {
        Page page;
        std::unique_ptr<CDownloadThread> worker = Worker(phone, page);
        ASSERT_TRUE(worker->Start());
        ASSERT_TRUE(page.WaitFor([](const std::string& line) {
            return line.starts_with("STATUS Downloading modul") ||
                   line.starts_with("STATUS Downloading Amss");
        }));
        const auto stopped = Clock::now();
        worker->Stop();
        ASSERT_TRUE(page.WaitFor([](const std::string& line) { return line == "END"; }));
        EXPECT_LT(page.ended_at() - stopped, std::chrono::seconds(1));
        const Lines texts = Texts(page.lines());
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 0);
    }
    // The programmer still runs, at the end of a command: the next run goes on from there.
    ASSERT_TRUE(PluggedAs(phone, sim::kDownloadModeProduct));
    Page again;
    const Lines texts = Texts(Run(phone, again));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
        << ::testing::PrintToString(texts);
    EXPECT_TRUE(DiskAsExpected(phone));
}

TEST_F(FirehoseDownload, FourPhonesAreWrittenAtOnceFromOneImageSet) {
    constexpr int kPhones = 4;
    std::vector<int> phones;
    for (int i = 0; i < kPhones; ++i)
        phones.push_back(AddPhone());
    std::vector<std::unique_ptr<Page>> pages;
    std::vector<std::unique_ptr<CDownloadThread>> workers;
    for (const int phone : phones) {
        pages.push_back(std::make_unique<Page>());
        workers.push_back(Worker(phone, *pages.back()));
    }
    for (auto& worker : workers)
        ASSERT_TRUE(worker->Start());
    for (auto& page : pages) {
        ASSERT_TRUE(page->WaitFor([](const std::string& line) { return line == "END"; }));
    }
    for (std::size_t i = 0; i < phones.size(); ++i) {
        const Lines texts = Texts(pages[i]->lines());
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "SUCCESS"), 1)
            << "phone " << phones[i] << ": " << ::testing::PrintToString(texts);
        EXPECT_TRUE(DiskAsExpected(phones[i])) << "phone " << phones[i];
    }
}

}  // namespace
}  // namespace fendrel::testing
