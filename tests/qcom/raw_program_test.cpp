// The image set's layout: sector expressions, rawprogram0.xml and patch0.xml read into a plan for
// a target of a given size, every refusal naming its file and element, and the patch values as a
// target's sectors stand (CRC-32 against its check value).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "qcom/crc32.h"
#include "qcom/raw_program.h"
#include "qcom/sector_expression.h"
#include "tests/support/temp_dir.h"

namespace fendrel::qcom {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

TEST(Crc32, CheckValueAndPieces) {
    const std::string text = "123456789";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(Crc32Of(bytes), 0xCBF43926u);
    Crc32 pieces;
    pieces.Update(bytes.first(4));
    pieces.Update(bytes.subspan(4));
    EXPECT_EQ(pieces.value(), 0xCBF43926u);
    EXPECT_EQ(Crc32Of({}), 0u);
}

TEST(SectorExpression, ValuesOfTheFormsImageSetsUse) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"34", 34},
        {"34.", 34},
        {" 7 ", 7},
        {"NUM_DISK_SECTORS", 1000},
        {"NUM_DISK_SECTORS-33.", 967},
        {"NUM_DISK_SECTORS-1", 999},
        {"0x10-10.", 6},
        {"0x1F", 31},
        {"(512*NUM_DISK_SECTORS)-16896.", 512000 - 16896},
        {"2+3*4", 14},
        {"(2+3)*4", 20},
        {"7/2", 3},
        {"10-20", -10},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(EvaluateSectorExpression(text, 1000), value) << text;
}

TEST(SectorExpression, RefusesWhatIsNoNumberSayingWhy) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"abc", "'a' at position 1"},
        {"NUM_DISK_SECTORS-", "ends too early"},
        {"5.5", "'5' at position 3"},
        {"1/0", "divides by zero"},
        {"99999999999999999999", "too large"},
        {"NUM_DISK_SECTORS*NUM_DISK_SECTORS*NUM_DISK_SECTORS*NUM_DISK_SECTORS", "too large"},
        {"(1", "ends too early"},
        {std::string(40, '(') + "1" + std::string(40, ')'), "nest too deep"},
        {"num_disk_sectors", "'n' at position 1"},
    };
    for (const auto& [text, why] : cases) {
        std::string error;
        EXPECT_FALSE(EvaluateSectorExpression(text, 1'000'000, &error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << ": " << error;
        EXPECT_NE(error.find("\"" + text + "\""), std::string::npos) << error;
    }
}

// A target whose physical partitions hold these many sectors (of any size asked for).
PartitionSizes Sizes(std::map<std::uint32_t, std::uint64_t> sectors) {
    return [sectors](std::uint32_t partition, std::uint32_t) -> std::optional<std::uint64_t> {
        const auto found = sectors.find(partition);
        if (found == sectors.end())
            return std::nullopt;
        return found->second;
    };
}

std::string Program(const std::string& attributes) {
    return "<program SECTOR_SIZE_IN_BYTES=\"512\" physical_partition_number=\"0\" " + attributes +
           "/>\n";
}

std::string Patch(const std::string& attributes) {
    return "<patch SECTOR_SIZE_IN_BYTES=\"512\" filename=\"DISK\" "
           "physical_partition_number=\"0\" " +
           attributes + "/>\n";
}

class RawProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(dir.File("gpt_main0.bin"), std::string(34 * 512, 'g'));
        WriteFile(dir.File("gpt_backup0.bin"), std::string(33 * 512, 'b'));
        WriteFile(dir.File("boot.img"), std::string(1000, 'k'));  // two sectors, padded
        WriteFile(dir.File("skipped-head.bin"), std::string(4 * 512 + 10, 'h'));
        WriteFile(dir.File("rootfs.img"), std::string(5 * 512, 'r'));
    }

    std::optional<RawProgramLayout> Read(const std::string& programs, const std::string& patches,
                                         std::string& error) {
        return ParseRawProgram(
            dir.path(), "rawprogram0.xml",
            "<?xml version=\"1.0\" ?>\n<data>\n" + programs + "</data>\n", "patch0.xml",
            "<?xml version=\"1.0\" ?>\n<patches>\n" + patches + "</patches>\n", error);
    }

    TempDir dir;
};

TEST_F(RawProgram, ALayoutBecomesAPlanForTheTargetsSize) {
    const std::string programs =
        Program(
            "start_sector=\"0\" num_partition_sectors=\"34\" filename=\"gpt_main0.bin\" "
            "label=\"PrimaryGPT\"") +
        Program("start_sector=\"34\" num_partition_sectors=\"16\" filename=\"\" label=\"misc\"") +
        Program(
            "start_sector=\"50\" num_partition_sectors=\"8\" filename=\"boot.img\" "
            "label=\"boot\"") +
        Program(
            "start_sector=\"58\" num_partition_sectors=\"4\" file_sector_offset=\"2.\" "
            "filename=\"skipped-head.bin\" label=\"tail\"") +
        Program(
            "start_sector=\"62\" num_partition_sectors=\"0\" filename=\"rootfs.img\" "
            "sparse=\"false\" label=\"rootfs\"") +
        Program(
            "start_sector=\"NUM_DISK_SECTORS-33.\" num_partition_sectors=\"33\" "
            "filename=\"gpt_backup0.bin\" label=\"BackupGPT\"");
    const std::string patches =
        Patch(
            "start_sector=\"1\" byte_offset=\"32\" size_in_bytes=\"8\" "
            "value=\"NUM_DISK_SECTORS-1.\" what=\"backup header location\"") +
        "<patch SECTOR_SIZE_IN_BYTES=\"512\" filename=\"gpt_main0.bin\" start_sector=\"1\" "
        "byte_offset=\"16\" size_in_bytes=\"4\" value=\"7\"/>\n" +
        Patch(
            "start_sector=\"NUM_DISK_SECTORS-1.\" byte_offset=\"88\" size_in_bytes=\"4\" "
            "value=\"CRC32(NUM_DISK_SECTORS-33.,16384)\"");
    std::string error;
    const auto layout = Read(programs, patches, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->PhysicalPartitions(), std::set<std::uint32_t>{0});
    const auto plan = layout->Resolve(Sizes({{0, 1000}}), error);
    ASSERT_TRUE(plan) << error;

    struct Expected {
        const char* file;
        std::uint64_t start, sectors, file_offset, bytes;
        int element;
    };
    const Expected expected[] = {
        {"gpt_main0.bin", 0, 34, 0, 34 * 512, 1},           {"boot.img", 50, 2, 0, 1000, 3},
        {"skipped-head.bin", 58, 3, 1024, 2 * 512 + 10, 4}, {"rootfs.img", 62, 5, 0, 5 * 512, 5},
        {"gpt_backup0.bin", 967, 33, 0, 33 * 512, 6},
    };
    ASSERT_EQ(plan->regions.size(), std::size(expected));
    for (std::size_t i = 0; i < plan->regions.size(); ++i) {
        const ProgramRegion& region = plan->regions[i];
        EXPECT_EQ(region.file_name, expected[i].file);
        EXPECT_EQ(region.file_path, dir.File(expected[i].file));
        EXPECT_EQ(region.start_sector, expected[i].start) << region.file_name;
        EXPECT_EQ(region.sectors, expected[i].sectors) << region.file_name;
        EXPECT_EQ(region.file_offset, expected[i].file_offset) << region.file_name;
        EXPECT_EQ(region.bytes, expected[i].bytes) << region.file_name;
        EXPECT_EQ(region.element, expected[i].element) << region.file_name;
        EXPECT_EQ(region.sector_size, 512u);
    }
    EXPECT_EQ(plan->TotalBytes(), 34u * 512 + 1000 + 1034 + 5 * 512 + 33 * 512);

    ASSERT_EQ(plan->patches.size(), 2u);  // the gpt_main0.bin patch is not for the target
    EXPECT_EQ(plan->patches[0].start_sector, 1u);
    EXPECT_EQ(plan->patches[0].byte_offset, 32u);
    EXPECT_EQ(plan->patches[0].size, 8u);
    EXPECT_FALSE(plan->patches[0].crc);
    EXPECT_EQ(plan->patches[0].number, 999u);
    EXPECT_EQ(plan->patches[0].what, "backup header location");
    EXPECT_EQ(plan->patches[1].start_sector, 999u);
    EXPECT_TRUE(plan->patches[1].crc);
    EXPECT_EQ(plan->patches[1].crc_start_sector, 967u);
    EXPECT_EQ(plan->patches[1].crc_bytes, 16384u);
    EXPECT_EQ(plan->patches[1].element, 3);
}

TEST_F(RawProgram, RefusesABadImageSetNamingFileAndElement) {
    struct Case {
        std::string programs, patches;
        std::vector<const char*> words;
    };
    const std::string boot = "filename=\"boot.img\" label=\"boot\"";
    const Case cases[] = {
        {Program("start_sector=\"1\" num_partition_sectors=\"1\" " + boot),
         "",
         {"rawprogram0.xml, <program> 1 (boot)", "boot.img", "longer than its region of 1"}},
        {Program("start_sector=\"1\" num_partition_sectors=\"0\" filename=\"gone.img\""),
         "",
         {"<program> 1", "cannot find the image file", "gone.img"}},
        {Program("start_sector=\"1\" num_partition_sectors=\"0\" filename=\"rootfs.img\" "
                 "sparse=\"true\""),
         "",
         {"<program> 1", "sparse"}},
        {"<program SECTOR_SIZE_IN_BYTES=\"500\" start_sector=\"0\" num_partition_sectors=\"0\" " +
             boot + "/>",
         "",
         {"<program> 1 (boot)", "SECTOR_SIZE_IN_BYTES 500"}},
        {Program("num_partition_sectors=\"0\" " + boot),
         "",
         {"<program> 1 (boot)", "start_sector is missing"}},
        {Program("start_sector=\"1\" " + boot), "", {"num_partition_sectors is missing"}},
        {Program("start_sector=\"NUM_DISK_SECTORS-x\" num_partition_sectors=\"0\" " + boot),
         "",
         {"<program> 1 (boot)", "start_sector \"NUM_DISK_SECTORS-x\" is not a number"}},
        {Program("start_sector=\"1\" num_partition_sectors=\"NUM_DISK_SECTORS\" " + boot),
         "",
         {"num_partition_sectors \"NUM_DISK_SECTORS\" is not a whole number"}},
        {Program("start_sector=\"0\" num_partition_sectors=\"0\" file_sector_offset=\"3\" " + boot),
         "",
         {"file_sector_offset 3 lies past the end of boot.img (1000 bytes)"}},
        {Program("start_sector=\"0\" num_partition_sectors=\"0\" " + boot) + "<program",
         "",
         {"rawprogram0.xml, line 4: not readable as XML"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"0\" size_in_bytes=\"9\" value=\"0\""),
         {"patch0.xml, <patch> 1", "size_in_bytes 9"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"510\" size_in_bytes=\"4\" value=\"0\""),
         {"patch0.xml, <patch> 1", "byte_offset 510"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"0\" size_in_bytes=\"4\""),
         {"<patch> 1", "value is missing"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"0\" size_in_bytes=\"4\" value=\"CRC32(1,)\""),
         {"<patch> 1", "value CRC32(1,)", "is empty"}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Read(c.programs, c.patches, error)) << c.programs << c.patches;
        for (const char* word : c.words)
            EXPECT_NE(error.find(word), std::string::npos) << "'" << word << "' in: " << error;
    }
}

TEST_F(RawProgram, RefusesAPlanThatDoesNotFitTheTarget) {
    struct Case {
        std::string programs, patches;
        std::vector<const char*> words;
    };
    const Case cases[] = {
        {Program("start_sector=\"999\" num_partition_sectors=\"0\" filename=\"boot.img\""),
         "",
         {"<program> 1",
          "boot.img at sector 999 (2 sectors) ends past the end of physical "
          "partition 0 (1000 sectors)"}},
        {Program("start_sector=\"NUM_DISK_SECTORS-1001.\" num_partition_sectors=\"0\" "
                 "filename=\"boot.img\""),
         "",
         {"<program> 1", "start_sector NUM_DISK_SECTORS-1001. is -1 on a target of 1000"}},
        {Program("start_sector=\"0\" num_partition_sectors=\"34\" filename=\"gpt_main0.bin\" "
                 "label=\"PrimaryGPT\"") +
             Program("start_sector=\"33\" num_partition_sectors=\"0\" filename=\"boot.img\" "
                     "label=\"boot\""),
         "",
         {"rawprogram0.xml, <program> 2 (boot): overlaps <program> 1 (PrimaryGPT)"}},
        {"<program SECTOR_SIZE_IN_BYTES=\"512\" physical_partition_number=\"4\" "
         "start_sector=\"0\" num_partition_sectors=\"0\" filename=\"boot.img\"/>",
         "",
         {"<program> 1", "no physical partition 4"}},
        {"",
         Patch("start_sector=\"1000\" byte_offset=\"0\" size_in_bytes=\"4\" value=\"0\""),
         {"patch0.xml, <patch> 1", "sector 1000 lies past the end"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"0\" size_in_bytes=\"4\" "
               "value=\"CRC32(NUM_DISK_SECTORS-1.,1024)\""),
         {"<patch> 1", "CRC32 of 1024 bytes from sector 999 does not lie within"}},
        {"",
         Patch("start_sector=\"1\" byte_offset=\"0\" size_in_bytes=\"8\" "
               "value=\"NUM_DISK_SECTORS-1006.\""),
         {"<patch> 1", "value NUM_DISK_SECTORS-1006. is -6"}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto layout = Read(c.programs, c.patches, error);
        ASSERT_TRUE(layout) << error;
        EXPECT_FALSE(layout->Resolve(Sizes({{0, 1000}}), error)) << c.programs << c.patches;
        for (const char* word : c.words)
            EXPECT_NE(error.find(word), std::string::npos) << "'" << word << "' in: " << error;
    }
}

TEST_F(RawProgram, RegionsOnDifferentPartitionsMayShareSectors) {
    const std::string programs =
        Program("start_sector=\"0\" num_partition_sectors=\"0\" filename=\"boot.img\"") +
        "<program SECTOR_SIZE_IN_BYTES=\"512\" physical_partition_number=\"1\" "
        "start_sector=\"0\" num_partition_sectors=\"0\" filename=\"rootfs.img\"/>";
    std::string error;
    const auto layout = Read(programs, "", error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->PhysicalPartitions(), (std::set<std::uint32_t>{0, 1}));
    EXPECT_TRUE(layout->Resolve(Sizes({{0, 100}, {1, 100}}), error)) << error;
}

TEST_F(RawProgram, ReadsTheFilesFromDisk) {
    WriteFile(dir.File("rawprogram0.xml"),
              "<data>" +
                  Program("start_sector=\"0\" num_partition_sectors=\"0\" "
                          "filename=\"boot.img\"") +
                  "</data>");
    std::string error;
    const auto layout = ReadRawProgram(dir.path(), dir.File("rawprogram0.xml"), "", error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->programs.size(), 1u);
    EXPECT_TRUE(layout->patches.empty());
    std::string missing;
    EXPECT_FALSE(ReadRawProgram(dir.path(), dir.File("rawprogram0.xml"), dir.File("patch0.xml"),
                                error, &missing));
    EXPECT_EQ(error.rfind("cannot read " + dir.File("patch0.xml") + ": ", 0), 0u) << error;
    EXPECT_EQ(missing, dir.File("patch0.xml"));

    // A missing image file is named too; other faults name none.
    WriteFile(dir.File("patch0.xml"), "<patches/>");
    WriteFile(dir.File("rawprogram0.xml"),
              "<data>" +
                  Program("start_sector=\"0\" num_partition_sectors=\"0\" "
                          "filename=\"gone.img\"") +
                  "</data>");
    EXPECT_FALSE(ReadRawProgram(dir.path(), dir.File("rawprogram0.xml"), dir.File("patch0.xml"),
                                error, &missing));
    EXPECT_EQ(missing, dir.File("gone.img"));
    WriteFile(dir.File("rawprogram0.xml"), "<data><program filename=\"boot.img\"/></data>");
    EXPECT_FALSE(ReadRawProgram(dir.path(), dir.File("rawprogram0.xml"), "", error, &missing));
    EXPECT_EQ(missing, "");
}

// A target in memory: partition 0 of `sectors` sectors of 512 bytes.
class MemoryTarget final : public SectorSource {
  public:
    explicit MemoryTarget(std::size_t sectors) : bytes(sectors * 512, 0) {}

    bool ReadSectors(std::uint32_t partition, std::uint64_t first_sector, std::uint32_t sector_size,
                     std::span<std::uint8_t> into, std::string& error) override {
        reads.push_back({first_sector, into.size() / sector_size});
        if (partition != 0 || (first_sector * sector_size + into.size()) > bytes.size()) {
            error = "outside the target";
            return false;
        }
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(first_sector * sector_size),
                    into.size(), into.begin());
        return true;
    }

    std::span<std::uint8_t> Sector(std::uint64_t number) {
        return std::span(bytes).subspan(number * 512, 512);
    }

    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reads;  // first sector, count
};

// Applies the plan's patches to `target` in order, as a writer does.
void ApplyPatches(const RawProgramPlan& plan, MemoryTarget& target) {
    for (const DiskPatch& patch : plan.patches) {
        std::string error;
        const std::optional<std::uint64_t> value = PatchValue(patch, target, error);
        ASSERT_TRUE(value) << error;
        ApplyPatch(patch, *value, target.Sector(patch.start_sector));
    }
}

TEST_F(RawProgram, PatchesSeeTheTargetAsThePatchesBeforeThemLeftIt) {
    // A GPT-like header in sector 1 whose CRC field (offset 16) holds a stale value: the patch
    // file zeroes it, then writes the CRC of the header's first 92 bytes.
    const std::string patches =
        Patch("start_sector=\"1\" byte_offset=\"16\" size_in_bytes=\"4\" value=\"0\"") +
        Patch("start_sector=\"1\" byte_offset=\"16\" size_in_bytes=\"4\" value=\"CRC32(1,92)\"") +
        Patch("start_sector=\"2\" byte_offset=\"0\" size_in_bytes=\"4\" value=\"0xAABBCCDD\"") +
        Patch(
            "start_sector=\"2\" byte_offset=\"8\" size_in_bytes=\"8\" "
            "value=\"NUM_DISK_SECTORS-1.\"");
    std::string error;
    const auto layout = Read("", patches, error);
    ASSERT_TRUE(layout) << error;
    const auto plan = layout->Resolve(Sizes({{0, 4096}}), error);
    ASSERT_TRUE(plan) << error;

    MemoryTarget target(4096);
    for (std::size_t i = 0; i < 92; ++i)
        target.Sector(1)[i] = static_cast<std::uint8_t>(i * 3 + 1);
    std::vector<std::uint8_t> header(target.Sector(1).begin(), target.Sector(1).begin() + 92);
    std::fill_n(header.begin() + 16, 4, 0);
    const std::uint32_t crc = Crc32Of(header);

    ApplyPatches(*plan, target);
    const std::span<std::uint8_t> one = target.Sector(1);
    EXPECT_EQ(std::vector<std::uint8_t>(one.begin() + 16, one.begin() + 20),
              (std::vector<std::uint8_t>{
                  static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
                  static_cast<std::uint8_t>(crc >> 16), static_cast<std::uint8_t>(crc >> 24)}));
    const std::span<std::uint8_t> two = target.Sector(2);
    EXPECT_EQ(std::vector<std::uint8_t>(two.begin(), two.begin() + 16),
              (std::vector<std::uint8_t>{0xDD, 0xCC, 0xBB, 0xAA, 0, 0, 0, 0, 0xFF, 0x0F, 0, 0, 0, 0,
                                         0, 0}));
    EXPECT_EQ(target.reads, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 1}}));
}

TEST_F(RawProgram, ALongCrcIsReadInPiecesAndAFailedReadSaysWhy) {
    std::string error;
    const auto layout = Read("",
                             Patch("start_sector=\"0\" byte_offset=\"0\" size_in_bytes=\"4\" "
                                   "value=\"CRC32(0,3000000)\""),
                             error);
    ASSERT_TRUE(layout) << error;
    const auto plan = layout->Resolve(Sizes({{0, 8192}}), error);
    ASSERT_TRUE(plan) << error;
    MemoryTarget target(8192);
    for (std::size_t i = 0; i < target.bytes.size(); ++i)
        target.bytes[i] = static_cast<std::uint8_t>(i % 251);
    const auto value = PatchValue(plan->patches[0], target, error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(*value, Crc32Of(std::span(target.bytes).first(3000000)));
    EXPECT_EQ(target.reads, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                                {0, 2048}, {2048, 2048}, {4096, 1764}}));

    MemoryTarget small(100);
    EXPECT_FALSE(PatchValue(plan->patches[0], small, error));
    EXPECT_EQ(error, "outside the target");
}

}  // namespace
}  // namespace fendrel::qcom
