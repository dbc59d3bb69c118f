// Loading images, and what a failure reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "fastboot/protocol.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/support/temp_dir.h"

namespace brenlo::testing {
namespace {

using ::testing::ElementsAre;

using LoadFile = ClientTest;

TEST_F(LoadFile, ReadsTheWholeFile) {
    fendrel::testing::TempDir folder;
    std::string bytes(3 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    fendrel::testing::WriteFile(folder.File("boot.img"), bytes);
    std::uint32_t size = 0;
    unsigned char* image = load_file(connection_, folder.File("boot.img").c_str(), &size);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(std::memcmp(image, bytes.data(), bytes.size()), 0);
    delete[] image;
    EXPECT_THAT(log_.reports(), ::testing::IsEmpty());
}

TEST_F(LoadFile, RefusesWhatIsNotAnImageWithItsReport) {
    fendrel::testing::TempDir folder;
    fendrel::testing::WriteFile(folder.File("empty.img"), "");
    ASSERT_EQ(mkdir(folder.File("folder.img").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(folder.File("pipe.img").c_str(), 0644), 0);
    const struct {
        std::string path;
        std::string report;
    } cases[] = {
        {folder.File("missing.img"), "load_file: file open failed (rc=2)\n"},
        {folder.File("folder.img"), "load_file: file open failed (rc=5)\n"},
        // A named pipe would block the call until someone writes to it.
        {folder.File("pipe.img"), "load_file: file open failed (rc=5)\n"},
        {folder.File("empty.img"), "load_file: file empty or negative size 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint32_t size = 77;
        EXPECT_EQ(load_file(connection_, c.path.c_str(), &size), nullptr);
        ASSERT_FALSE(log_.reports().empty());
        EXPECT_EQ(log_.reports().back(),
                  (Report{"boot", BRENLO_STEP_ERASE, BRENLO_LEVEL_FAILURE, c.report}));
    }
}

}  // namespace
}  // namespace brenlo::testing
