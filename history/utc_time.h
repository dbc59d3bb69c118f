// Moments as the station writes them into what other programs read (the flash events, the result
// history): UTC in ISO 8601 with milliseconds, "2024-05-01T12:34:56.789Z". Text of this form
// sorts in time order.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace fendrel::history {

using Moment = std::chrono::system_clock::time_point;

std::string UtcText(Moment moment);

// A date or moment typed by a user, in UTC: "2024-05-01", "2024-05-01T12:34",
// "2024-05-01T12:34:56" (a space may stand for the T, a trailing Z is allowed), as the
// UtcText of that moment. None when it is not such a date or the calendar has no such day.
std::optional<std::string> UtcTextOfDate(std::string_view date);

}  // namespace fendrel::history
