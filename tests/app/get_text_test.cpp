// GetText reads the site's override file once per process, so this test has a process of its own.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/text_lookup.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

TEST(GetText, OverridesFromTheProgramFolderAndBuiltInTextsOtherwise) {
    testing::TempDir dir;
    testing::WriteFile(dir.File("resource/resource.txt"), "210;;;Quit now?\n");
    platform::OverrideProgramDirectory(dir.path());

    // Several threads asking first at once all see the finished table.
    std::vector<std::string> answers(8);
    std::vector<std::thread> threads;
    for (auto& answer : answers)
        threads.emplace_back([&answer] { answer = GetText(210); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& answer : answers)
        EXPECT_EQ(answer, "Quit now?");

    EXPECT_EQ(GetText(text::kCanNotOpenPort), "Can not open port!");
    EXPECT_EQ(GetText(100000), "");

    // Read once: a changed file takes effect only at the next start.
    testing::WriteFile(dir.File("resource/resource.txt"), "210;;;Changed\n");
    EXPECT_EQ(GetText(210), "Quit now?");
    platform::OverrideProgramDirectory("");
}

}  // namespace
}  // namespace fendrel
