// fendrel-msp, the station's raw programmer: run as a program on disk image files, what it writes
// is checked against an independent reading of the layout files
// (tests/support/raw_layout_oracle.h), and every refusal leaves the disk as it was. Its target
// checks and its writer are also driven directly, on simulated disks and on a disk in memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/files.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/raw_layout_oracle.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/memory_target.h"
#include "tools/msp_target.h"
#include "tools/msp_writer.h"

namespace fendrel::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kDiskBytes = 1 << 20;
constexpr std::size_t kPartitionArrayBytes = 16384;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// An image set with what trips a raw programmer up, for sectors of `s` bytes: the backup GPT at
// NUM_DISK_SECTORS-<n>., a file read from a sector offset, a file shorter than its region, an
// element without a file, a patch of a GPT file (not the disk), and CRC32 patches that read what
// the patches before them wrote.
struct TrickySet {
    explicit TrickySet(std::uint32_t s)
        : sector(s),
          main_sectors(2 + kPartitionArrayBytes / s),
          backup_sectors(1 + kPartitionArrayBytes / s) {}

    std::string Rawprogram() const {
        const std::string common = "SECTOR_SIZE_IN_BYTES=\"" + std::to_string(sector) +
                                   "\" physical_partition_number=\"0\" ";
        const auto n = [](std::uint64_t value) { return std::to_string(value); };
        return "<?xml version=\"1.0\" ?>\n<data>\n"
               "  <program " +
               common +
               "file_sector_offset=\"0\" filename=\"gpt_main0.bin\" "
               "label=\"PrimaryGPT\" num_partition_sectors=\"" +
               n(main_sectors) +
               "\" start_sector=\"0\" />\n"
               "  <program " +
               common +
               "filename=\"sbl1.mbn\" label=\"sbl1\" "
               "num_partition_sectors=\"8\" start_sector=\"" +
               n(main_sectors) +
               "\" />\n"
               "  <program " +
               common +
               "filename=\"\" label=\"cache\" num_partition_sectors=\"16\" "
               "start_sector=\"" +
               n(main_sectors + 8) +
               "\" />\n"
               "  <program " +
               common +
               "file_sector_offset=\"2\" filename=\"boot.img\" "
               "label=\"boot\" num_partition_sectors=\"0\" start_sector=\"" +
               n(main_sectors + 24) +
               "\" />\n"
               "  <program " +
               common +
               "filename=\"gpt_backup0.bin\" label=\"BackupGPT\" "
               "num_partition_sectors=\"" +
               n(backup_sectors) + "\" start_sector=\"NUM_DISK_SECTORS-" + n(backup_sectors) +
               ".\" />\n"
               "</data>\n";
    }

    std::string Patch() const {
        const std::string common = "SECTOR_SIZE_IN_BYTES=\"" + std::to_string(sector) +
                                   "\" physical_partition_number=\"0\" ";
        const auto patch = [&](const char* file, int offset, int size, const std::string& start,
                               const std::string& value) {
            return "  <patch " + common + "byte_offset=\"" + std::to_string(offset) +
                   "\" filename=\"" + file + "\" size_in_bytes=\"" + std::to_string(size) +
                   "\" start_sector=\"" + start + "\" value=\"" + value + "\" what=\"\" />\n";
        };
        const std::string array = "CRC32(2," + std::to_string(kPartitionArrayBytes) + ")";
        return "<?xml version=\"1.0\" ?>\n<patches>\n" +
               patch("gpt_main0.bin", 16, 4, "1", "0") +  // the file, not the disk: ignored
               patch("DISK", 16, 4, "1", "0") + patch("DISK", 32, 8, "1", "NUM_DISK_SECTORS-1.") +
               patch("DISK", 48, 8, "1", "NUM_DISK_SECTORS-" + std::to_string(main_sectors) + ".") +
               patch("DISK", 88, 4, "1", array) + patch("DISK", 16, 4, "1", "CRC32(1,92)") +
               patch("DISK", 16, 4, "NUM_DISK_SECTORS-1.", "0") +
               patch("DISK", 16, 4, "NUM_DISK_SECTORS-1.", "CRC32(NUM_DISK_SECTORS-1.,92)") +
               "</patches>\n";
    }

    // Writes the set into `folder`.
    void Write(const std::string& folder) const {
        WriteFile(folder + "gpt_main0.bin", RandomBytes(main_sectors * sector, 1));
        WriteFile(folder + "sbl1.mbn", RandomBytes(1000, 2));  // shorter than its 8 sectors
        WriteFile(folder + "boot.img", RandomBytes(5 * sector + 100, 3));
        WriteFile(folder + "gpt_backup0.bin", RandomBytes(backup_sectors * sector, 4));
        WriteFile(folder + "rawprogram0.xml", Rawprogram());
        WriteFile(folder + "patch0.xml", Patch());
    }

    std::uint32_t sector;
    std::uint64_t main_sectors;
    std::uint64_t backup_sectors;
};

class MspTest : public ::testing::Test {
  protected:
    MspTest() { WriteFile(Disk(), Before()); }

    std::string Disk() const { return dir_.File("disk.img"); }
    // What the disk holds before a write: no zeros, so that a padding shows.
    static std::string Before() { return std::string(kDiskBytes, '\xA5'); }

    // Runs fendrel-msp with `arguments` (a shell's words) in the image folder; its exit status,
    // with everything it printed in `output`.
    int Run(const std::string& arguments, std::string* output = nullptr) {
        const CommandOutcome outcome = RunCommand("cd " + Quoted(dir_.path()) + " && " +
                                                  Quoted(FENDREL_MSP_TOOL) + " " + arguments);
        if (output != nullptr)
            *output = outcome.output + outcome.errors;
        return outcome.status;
    }
    static std::string Quoted(const std::string& word) { return "'" + word + "'"; }
    std::string Standard() const {
        return "-n --verify -r rawprogram0.xml -p patch0.xml -d " + Disk();
    }

    TempDir dir_;
};

TEST_F(MspTest, WritesTheLayoutWithItsPatchesForEitherSectorSize) {
    for (const std::uint32_t sector : {512u, 4096u}) {
        SCOPED_TRACE(sector);
        WriteFile(Disk(), Before());
        const TrickySet set(sector);
        set.Write(dir_.path());
        std::string output;
        ASSERT_EQ(Run(Standard(), &output), 0) << output;
        const std::string written = ReadFile(Disk());
        EXPECT_TRUE(written == ExpectedDisk(Before(), dir_.path(), set.Rawprogram(), set.Patch()))
            << output;
        // The backup header's CRC was taken over the header as the patches before it left it.
        const std::string backup = written.substr(kDiskBytes - sector, 92);
        std::string zeroed = backup;
        zeroed.replace(16, 4, 4, '\0');
        const std::uint32_t crc = Crc32(zeroed);
        EXPECT_EQ(backup.substr(16, 4), std::string(reinterpret_cast<const char*>(&crc), 4));

        // One line per region with its share, the patches, the verification, rising to 100.
        int regions = 0, last = -1;
        std::size_t at = 0;
        for (std::size_t end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string line = output.substr(at, end - at);
            if (line.starts_with("[")) {
                const int percent = std::atoi(line.c_str() + 1);
                EXPECT_GE(percent, last) << line;
                last = percent;
            }
            if (line.find("] wrote rawprogram0.xml, <program> ") != std::string::npos)
                ++regions;
        }
        EXPECT_EQ(regions, 4) << output;
        EXPECT_EQ(last, 100) << output;
    }
}

TEST_F(MspTest, RefusesBeforeWritingAnythingAndSaysWhichFileAndElement) {
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> spoil;
        std::vector<std::string> said;  // in what it printed
    };
    const Case cases[] = {
        {"a rawprogram file that is not XML",
         [](const std::string& folder) { WriteFile(folder + "rawprogram0.xml", "<data><program"); },
         {"rawprogram0.xml"}},
        {"a missing image file",
         [](const std::string& folder) { fs::remove(folder + "boot.img"); },
         {"rawprogram0.xml", "<program> 4", "boot.img"}},
        {"a file longer than its region",
         [](const std::string& folder) { WriteFile(folder + "sbl1.mbn", RandomBytes(9 * 512, 5)); },
         {"rawprogram0.xml", "<program> 2"}},
        {"a region past the end of the disk",
         [](const std::string& folder) {
             std::string text = ReadFile(folder + "rawprogram0.xml");
             const std::string start = "start_sector=\"34\"";
             text.replace(text.find(start), start.size(),
                          "start_sector=\"" + std::to_string(kDiskBytes / 512) + "\"");
             WriteFile(folder + "rawprogram0.xml", text);
         },
         {"rawprogram0.xml", "<program> 2"}},
        {"a patch that reads past the end of the disk",
         [](const std::string& folder) {
             std::string text = ReadFile(folder + "patch0.xml");
             const std::string crc = "CRC32(1,92)";
             text.replace(text.find(crc), crc.size(), "CRC32(1,99999999)");
             WriteFile(folder + "patch0.xml", text);
         },
         {"patch0.xml", "<patch> 6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Disk(), Before());
        TrickySet(512).Write(dir_.path());
        c.spoil(dir_.path());
        std::string output;
        EXPECT_EQ(Run(Standard(), &output), 1);
        for (const std::string& words : c.said)
            EXPECT_NE(output.find(words), std::string::npos) << words << "\n" << output;
        EXPECT_TRUE(ReadFile(Disk()) == Before());
    }
}

TEST_F(MspTest, TheCommandLineAndTheTargetAreCheckedFirst) {
    TrickySet(512).Write(dir_.path());
    fs::create_directories(dir_.File("folder"));
    struct Case {
        std::string arguments;
        int exit_code;
        std::string said;
    };
    const Case cases[] = {
        {"-n -r rawprogram0.xml", 2, "usage:"},
        {"-n -r rawprogram0.xml -p patch0.xml -d " + Disk() + " --force", 2, "--force"},
        {"-n -r rawprogram0.xml -d " + dir_.File("folder"), 1, "neither a disk nor"},
        {"-n -r rawprogram0.xml -d " + dir_.File("no-disk"), 1, "no-disk"},
        // Nobody answers the question before writing: nothing is written.
        {"-r rawprogram0.xml -p patch0.xml -d " + Disk() + " < /dev/null", 1, "not confirmed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string output;
        EXPECT_EQ(Run(c.arguments, &output), c.exit_code);
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
        EXPECT_TRUE(ReadFile(Disk()) == Before());
    }
    // An operator who says yes gets the write; the value can follow its option directly.
    WriteFile(dir_.File("answer"), "yes\n");
    std::string output;
    EXPECT_EQ(Run("-rrawprogram0.xml -ppatch0.xml -d" + Disk() + " < answer", &output), 0)
        << output;
    EXPECT_FALSE(ReadFile(Disk()) == Before());
}

// A disk of the simulated tree, as fendrel-msp's target check sees it.
class MspTargetTest : public ::testing::Test {
  protected:
    std::string Plug(int partitions, bool read_only) {
        sim::UsbIdentity phone = sim::DiskModeIdentity("S", dir_.File("phone.img"), kDiskBytes);
        phone.interfaces[sim::kDiskInterface].partitions = partitions;
        phone.interfaces[sim::kDiskInterface].read_only = read_only;
        EXPECT_TRUE(tree_.Add("1-1", phone)) << tree_.error();
        WriteFile(dir_.File("phone.img"), std::string(kDiskBytes, '\0'));
        return dir_.File("phone.img");
    }
    msp::DiskTarget Target(const std::string& mounts = "") {
        WriteFile(dir_.File("mounts"), mounts);
        return msp::DiskTarget(platform::DiskEnumerator(tree_.root()),
                               platform::MountTable(dir_.File("mounts")));
    }

    TempDir dir_;
    sim::FakeDeviceTree tree_{dir_.File("sys")};
};

TEST_F(MspTargetTest, OnlyAWholeWritableDiskWithNothingMountedIsOpened) {
    const std::string disk = Plug(2, false);
    const std::string partition = disk + "-part1";
    WriteFile(partition, "");
    struct Case {
        const char* name;
        std::string path;
        std::string mounts;
        std::string refusal;  // empty: opened
    } cases[] = {
        {"the whole disk", disk, "", ""},
        {"a partition", partition, "",
         partition + " is a partition of " + disk + ", not a whole disk"},
        {"a mounted partition", disk, partition + " /media/x vfat rw 0 0\n",
         partition + " is mounted on /media/x"},
        {"an image file no disk is", dir_.File("other.img"), "", ""},
    };
    WriteFile(dir_.File("other.img"), std::string(4096, '\0'));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        msp::DiskTarget target = Target(c.mounts);
        EXPECT_EQ(target.Open(c.path), c.refusal.empty()) << target.error();
        EXPECT_EQ(target.error(), c.refusal);
    }
}

TEST_F(MspTargetTest, AReadOnlyDiskIsRefusedAndAnUnpluggedOneIsGone) {
    const std::string disk = Plug(0, true);
    msp::DiskTarget read_only = Target();
    EXPECT_FALSE(read_only.Open(disk));
    EXPECT_EQ(read_only.error(), disk + " is read-only");

    Plug(0, false);
    msp::DiskTarget target = Target();
    ASSERT_TRUE(target.Open(disk)) << target.error();
    EXPECT_EQ(target.size(), kDiskBytes);
    EXPECT_TRUE(target.StillThere());
    tree_.Remove("1-1");  // the image file stays, as a phone's flash does
    EXPECT_FALSE(target.StillThere());
}

TEST(PlanWriter, AVanishedDiskOrADiskThatReadsBackWrongFailsTheWrite) {
    TempDir dir;
    const TrickySet set(512);
    set.Write(dir.path());
    std::string error;
    const auto layout = qcom::ReadRawProgram(dir.path(), dir.File("rawprogram0.xml"),
                                             dir.File("patch0.xml"), error);
    ASSERT_TRUE(layout.has_value()) << error;
    const auto plan = msp::PlanForDisk(*layout, kDiskBytes, error);
    ASSERT_TRUE(plan.has_value()) << error;
    std::FILE* const progress = std::tmpfile();  // the writer's lines are the program's business

    MemoryTarget whole(kDiskBytes);
    msp::PlanWriter writer(whole, progress, "rawprogram0.xml", "patch0.xml");
    ASSERT_TRUE(writer.Write(*plan, true)) << writer.error();
    EXPECT_TRUE(whole.bytes == ExpectedDisk(std::string(kDiskBytes, '\0'), dir.path(),
                                            set.Rawprogram(), set.Patch()));

    MemoryTarget unplugged(kDiskBytes);
    unplugged.leave_after_writes = 1;
    msp::PlanWriter first(unplugged, progress, "rawprogram0.xml", "patch0.xml");
    EXPECT_FALSE(first.Write(*plan, true));
    EXPECT_EQ(first.error(), "the disk went away while it was written");
    EXPECT_EQ(unplugged.writes, 1);  // nothing after the region that found it gone

    // A byte of sbl1's region (sectors 34 to 41) that does not read back as written.
    MemoryTarget corrupting(kDiskBytes);
    corrupting.flip_on_read_back = 34 * 512 + 7;
    msp::PlanWriter verifying(corrupting, progress, "rawprogram0.xml", "patch0.xml");
    EXPECT_FALSE(verifying.Write(*plan, true));
    EXPECT_EQ(verifying.error(),
              "rawprogram0.xml, <program> 2 (sbl1): the disk differs from "
              "sbl1.mbn at byte 17415 after writing");
    MemoryTarget unverified(kDiskBytes);
    unverified.flip_on_read_back = 34 * 512 + 7;
    msp::PlanWriter trusting(unverified, progress, "rawprogram0.xml", "patch0.xml");
    EXPECT_TRUE(trusting.Write(*plan, false));
    std::fclose(progress);
}

}  // namespace
}  // namespace fendrel::testing
