// Where the plugins find an image set: the version folder, or the image folder above a VERSION
// folder that lacks a programmer.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace fendrel::flashlibs
