// Where the plugins find an image set: the version folder, or the image folder above a VERSION
// folder that lacks a programmer.
#include <gtest/gtest.h>

#include <vector>

#include "flashlibs/support/image_set_files.h"
#include "tests/support/temp_dir.h"

namespace fendrel::flashlibs {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

TEST(ImageSetFiles, TheVersionFolderOrTheImageFolderAboveIt) {
    TempDir dir;
    WriteFile(dir.File("set/prog_emmc_firehose_8x10.mbn"), "p");
    WriteFile(dir.File("set/VERSION/readme.txt"), "");
    WriteFile(dir.File("own/VERSION/prog_emmc_firehose_8x26.mbn"), "p");
    WriteFile(dir.File("own/prog_emmc_firehose_8x26.mbn"), "p");
    WriteFile(dir.File("other/sub/readme.txt"), "");
    WriteFile(dir.File("other/prog_emmc_firehose_8x26.mbn"), "p");

    const struct {
        std::string version_folder;
        std::optional<std::string> folder, programmer;
    } cases[] = {
        {dir.File("set/"), dir.File("set"), dir.File("set/prog_emmc_firehose_8x10.mbn")},
        {dir.File("set/VERSION"), dir.File("set"), dir.File("set/prog_emmc_firehose_8x10.mbn")},
        {dir.File("set/VERSION/"), dir.File("set"), dir.File("set/prog_emmc_firehose_8x10.mbn")},
        {dir.File("own/VERSION"), dir.File("own/VERSION"),
         dir.File("own/VERSION/prog_emmc_firehose_8x26.mbn")},
        // Only a folder named VERSION sends the plugin above it.
        {dir.File("other/sub"), std::nullopt, std::nullopt},
        {dir.File("missing/VERSION"), std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<ImageSet> found = FindImageSet(c.version_folder);
        ASSERT_EQ(found.has_value(), c.folder.has_value()) << c.version_folder;
        if (found) {
            EXPECT_EQ(found->folder, *c.folder) << c.version_folder;
            EXPECT_EQ(found->programmer, *c.programmer) << c.version_folder;
        }
    }
}

TEST(ImageSetFiles, TheProgrammerDecidesTheKindOfSet) {
    TempDir dir;
    const struct {
        std::vector<const char*> files;
        std::optional<ImageSetKind> kind;
        const char* programmer;  // the file taken
        const char* hex;         // its .hex, when there is one
    } cases[] = {
        {{"MPRG7627A.bin", "partition.mbn"}, ImageSetKind::kNandMultiImage, "MPRG7627A.bin", ""},
        {{"MPRG7627A.hex"}, ImageSetKind::kNandMultiImage, "MPRG7627A.hex", "MPRG7627A.hex"},
        {{"MPRG8X25.bin", "MPRG8X25.hex"},
         ImageSetKind::kEmmcProgrammer,
         "MPRG8X25.bin",
         "MPRG8X25.hex"},
        // The eMMC programmers come before the NAND one, the firehose programmers before both.
        {{"MPRG8X25Q.hex", "MPRG7627A.bin"},
         ImageSetKind::kEmmcProgrammer,
         "MPRG8X25Q.hex",
         "MPRG8X25Q.hex"},
        {{"MPRG8X25.bin", "prog_emmc_firehose_8x26.mbn"},
         ImageSetKind::kFirehose,
         "prog_emmc_firehose_8x26.mbn",
         ""},
        {{"partition.mbn", "amss.mbn"}, std::nullopt, "", ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string folder = dir.File("set" + std::to_string(++n));
        for (const char* file : c.files)
            WriteFile(folder + "/" + file, "p");
        const std::optional<ImageSet> found = FindImageSet(folder);
        ASSERT_EQ(found.has_value(), c.kind.has_value()) << folder;
        if (!found)
            continue;
        EXPECT_EQ(found->kind, *c.kind) << folder;
        EXPECT_EQ(found->programmer, folder + "/" + c.programmer);
        EXPECT_EQ(found->hex, *c.hex ? folder + "/" + c.hex : "");
    }
}

}  // namespace
}  // namespace fendrel::flashlibs
