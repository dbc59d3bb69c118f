#include "history/utc_time.h"

#include <cstdio>

namespace fendrel::history {
namespace {

// The digits of `text` from `at` as a number; none unless exactly `count` digits are there.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::string Format(const std::chrono::year_month_day& day, int hour, int minute, int second,
                   int millisecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), hour, minute, second, millisecond);
    return text;
}

}  // namespace

std::string UtcText(Moment moment) {
    using namespace std::chrono;
    const auto since_epoch = floor<milliseconds>(moment);
    const auto day = floor<days>(since_epoch);
    const hh_mm_ss time(since_epoch - day);
    return Format(year_month_day(day), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
}

std::optional<std::string> UtcTextOfDate(std::string_view date) {
    if (date.ends_with('Z') || date.ends_with('z'))
        date.remove_suffix(1);
    const auto year = Digits(date, 0, 4);
    const auto month = Digits(date, 5, 2);
    const auto day_of_month = Digits(date, 8, 2);
    if (!year || !month || !day_of_month || date[4] != '-' || date[7] != '-')
        return std::nullopt;
    const std::chrono::year_month_day day{std::chrono::year(*year),
                                          std::chrono::month(static_cast<unsigned>(*month)),
                                          std::chrono::day(static_cast<unsigned>(*day_of_month))};
    if (!day.ok())
        return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    if (date.size() > 10) {
        const auto h = Digits(date, 11, 2);
        const auto m = Digits(date, 14, 2);
        if ((date[10] != 'T' && date[10] != 't' && date[10] != ' ') || !h || !m ||
            date[13] != ':' || *h > 23 || *m > 59)
            return std::nullopt;
        hour = *h;
        minute = *m;
        if (date.size() > 16) {
            const auto s = Digits(date, 17, 2);
            if (date[16] != ':' || !s || *s > 59 || date.size() != 19)
                return std::nullopt;
            second = *s;
        } else if (date.size() != 16) {
            return std::nullopt;
        }
    } else if (date.size() != 10) {
        return std::nullopt;
    }
    return Format(day, hour, minute, second, 0);
}

}  // namespace fendrel::history
