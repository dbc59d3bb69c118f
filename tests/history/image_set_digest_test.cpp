// The digest a history row keeps of the images a run wrote.
#include "history/image_set_digest.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

TEST(ImageSetDigest, ChangesWithAnyByteOrNameOfTheSetButNotWithItsSubfolders) {
    TempDir dir;
    WriteFile(dir.File("set/boot.img"), "boot");
    WriteFile(dir.File("set/system.img"), "system");
    std::string error;
    const std::string original = history::ImageSetDigest(dir.File("set"), {}, error);
    ASSERT_EQ(original.size(), 64u) << error;

    WriteFile(dir.File("set/sub/ignored.img"), "not part of the set");
    EXPECT_EQ(history::ImageSetDigest(dir.File("set"), {}, error), original);

    // Names and contents that run together the same way must not give the same digest.
    WriteFile(dir.File("other/boot.im"), "gboot");
    WriteFile(dir.File("other/system.img"), "system");
    EXPECT_NE(history::ImageSetDigest(dir.File("other"), {}, error), original);

    WriteFile(dir.File("set/system.img"), "systen");
    EXPECT_NE(history::ImageSetDigest(dir.File("set"), {}, error), original);
    WriteFile(dir.File("set/system.img"), "system");
    EXPECT_EQ(history::ImageSetDigest(dir.File("set"), {}, error), original);

    WriteFile(dir.File("app.bin"), "app");
    EXPECT_NE(history::ImageSetDigest(dir.File("set"), {dir.File("app.bin"), ""}, error), original);

    EXPECT_EQ(history::ImageSetDigest(dir.File("set"), {dir.File("missing.bin")}, error), "");
    EXPECT_NE(error.find("missing.bin"), std::string::npos) << error;
}

}  // namespace
}  // namespace fendrel::testing
