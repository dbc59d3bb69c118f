// The result history in one process: what a row keeps, what a query finds, what it refuses.
#include "history/result_history.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

history::ResultRecord Passed() {
    return {"2024-05-01T09:12:03.481Z",
            "2024-05-01T09:13:10.002Z",
            "line-2",
            "COM3",
            "1-2",
            1,
            "MULTI",
            "/images/set/",
            std::string(64, 'a'),
            "",
            "",
            "Wait the phone to restart...",
            true};
}

history::ResultRecord Failed() {
    return {"2024-05-02T17:00:00.000Z",
            "2024-05-02T17:00:41.500Z",
            "line-2",
            "COM1",
            "1-1",
            0,
            "EMMC",
            "/images/other/",
            std::string(64, 'b'),
            "1234ABCD",
            "/opt/fendrel/Backup/OTHER/2024_05_02/_COM1_19_00_00.znv",
            "Can not find the phone's disk!",
            false};
}

TEST(ResultHistory, KeepsEveryFieldOfAPassedAndAFailedPhoneAndFindsThemByEsnAndStart) {
    TempDir dir;
    const std::string path = dir.File("state/fendrel/history.db");
    std::string error;
    {
        const auto history = history::OpenResultHistory(path, true, error);
        ASSERT_NE(history, nullptr) << error;
        // Recorded newest first: a query gives them oldest first.
        ASSERT_TRUE(history->Record(Failed(), error)) << error;
        ASSERT_TRUE(history->Record(Passed(), error)) << error;
    }
    const auto history = history::OpenResultHistory(path, false, error);
    ASSERT_NE(history, nullptr) << error;
    const struct {
        history::HistoryFilter filter;
        std::vector<history::ResultRecord> expected;
    } cases[] = {
        {{}, {Passed(), Failed()}},
        {{"1234ABCD", "", "", ""}, {Failed()}},
        {{"00000001", "", "", ""}, {}},
        {{"", "2024-05-01T09:12:03.481Z", "", ""}, {Passed(), Failed()}},
        {{"", "2024-05-02T00:00:00.000Z", "", ""}, {Failed()}},
        {{"1234ABCD", "2024-05-03T00:00:00.000Z", "", ""}, {}},
        {{"", "", "COM3", "line-2"}, {Passed()}},
        {{"", "", "COM3", "line-7"}, {}},
    };
    for (const auto& [filter, expected] : cases) {
        SCOPED_TRACE(filter.esn + " " + filter.since);
        const auto found = history->Query(filter, error);
        ASSERT_TRUE(found.has_value()) << error;
        EXPECT_EQ(*found, expected);
    }
}

TEST(ResultHistory, RefusesWhatIsNotAHistoryAndLeavesItAsItIs) {
    TempDir dir;
    std::string error;
    EXPECT_EQ(history::OpenResultHistory(dir.File("missing.db"), false, error), nullptr);
    EXPECT_NE(error.find("no result has been recorded yet"), std::string::npos) << error;

    const std::string text = "not a database, but someone's notes\n";
    WriteFile(dir.File("notes.db"), text);
    const auto opened = history::OpenResultHistory(dir.File("notes.db"), true, error);
    EXPECT_EQ(opened, nullptr);
    EXPECT_NE(error.find(dir.File("notes.db") + ": the result history "), std::string::npos)
        << error;
    EXPECT_EQ(ReadFile(dir.File("notes.db")), text);

    EXPECT_EQ(history::OpenResultHistory(dir.path(), true, error), nullptr);
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

}  // namespace
}  // namespace fendrel::testing
