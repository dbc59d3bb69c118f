// Moments as the station writes them, and the dates a user types.
#include "history/utc_time.h"

#include <gtest/gtest.h>

namespace fendrel::testing {
namespace {

TEST(UtcTime, MillisecondsSinceTheEpochAsIsoText) {
    using std::chrono::milliseconds;
    EXPECT_EQ(history::UtcText(history::Moment{}), "1970-01-01T00:00:00.000Z");
    // 2024-02-29 (a leap day) 23:59:59.999 UTC.
    EXPECT_EQ(history::UtcText(history::Moment(milliseconds(1709251199999))),
              "2024-02-29T23:59:59.999Z");
}

TEST(UtcTime, DatesAUserTypes) {
    const std::pair<const char*, const char*> cases[] = {
        {"2024-05-01", "2024-05-01T00:00:00.000Z"},
        {"2024-05-01T09:30", "2024-05-01T09:30:00.000Z"},
        {"2024-05-01 09:30:15", "2024-05-01T09:30:15.000Z"},
        {"2024-05-01T09:30:15Z", "2024-05-01T09:30:15.000Z"},
        {"2024-02-29", "2024-02-29T00:00:00.000Z"},
        {"2023-02-29", nullptr},
        {"2024-13-01", nullptr},
        {"2024-5-1", nullptr},
        {"2024-05-01T24:00", nullptr},
        {"2024-05-01T09", nullptr},
        {"2024-05-01T09:30:15.5", nullptr},
        {"yesterday", nullptr},
        {"", nullptr},
    };
    for (const auto& [typed, expected] : cases) {
        SCOPED_TRACE(typed);
        const auto text = history::UtcTextOfDate(typed);
        if (expected == nullptr)
            EXPECT_FALSE(text.has_value()) << *text;
        else
            EXPECT_EQ(text.value_or("none"), expected);
    }
}

}  // namespace
}  // namespace fendrel::testing
