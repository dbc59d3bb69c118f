// The start checks: a second copy and a broken config.ini are refused with their texts, before
// anything else happens.
#include <gtest/gtest.h>

#include "app/file_code.h"
#include "app/startup.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

std::string StampedConfig() {
    const std::string body = "[INTERFACE]\nPAGES=0\n";
    return body + ExamineConfigText(body).expected_line + "\n";
}

TEST(StartChecks, RefuseASecondCopyAndABrokenConfigurationWithTheirTexts) {
    TempDir dir;
    WriteFile(dir.File("config.ini"), StampedConfig());
    WriteFile(dir.File("broken.ini"), "[INTERFACE]\nPAGES=0\nFILECODE:0000\n");
    struct Case {
        const char* name;
        bool other_copy_runs;
        const char* config;
        std::vector<std::string> texts;  // what the operator is told
        bool passes;
    };
    const Case cases[] = {
        {"valid", false, "config.ini", {}, true},
        {"second copy", true, "config.ini", {"The software is running!"}, false},
        {"broken config",
         false,
         "broken.ini",
         {"The config file is broken,please reinstall software!"},
         false},
        {"missing config",
         false,
         "missing.ini",
         {"The config file is broken,please reinstall software!"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::InstanceGuard other(dir.File("state"), kInstanceGuardName);
        if (c.other_copy_runs) {
            ASSERT_EQ(other.Take(), platform::InstanceGuard::Result::kTaken);
        }
        platform::InstanceGuard guard(dir.File("state"), kInstanceGuardName);
        platform::RecordingPrompts prompts;
        EXPECT_EQ(PassStartChecks(guard, dir.File(c.config), prompts), c.passes);
        EXPECT_EQ(prompts.Texts(), c.texts);
        // A refused second copy leaves the first one's guard alone.
        EXPECT_EQ(guard.held(), !c.other_copy_runs);
    }
}

}  // namespace
}  // namespace fendrel::testing
