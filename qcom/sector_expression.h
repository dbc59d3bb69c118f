// The numbers of rawprogram0.xml and patch0.xml.
//
// A number is decimal, with or without the trailing dot these files use to mark a decimal
// ("NUM_DISK_SECTORS-33."), or hexadecimal after 0x. NUM_DISK_SECTORS stands for the size of the
// target in sectors. Numbers combine with + - * / (whole-number division) and parentheses, with
// the usual precedence. Every step must stay within a signed 64-bit number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fendrel::qcom {

inline constexpr std::string_view kDiskSectorsName = "NUM_DISK_SECTORS";

// The value of `text` with NUM_DISK_SECTORS = `disk_sectors`. None when the text is not such an
// expression, overflows or divides by zero; `error` (when given) then says why, quoting the text.
std::optional<std::int64_t> EvaluateSectorExpression(std::string_view text,
                                                     std::int64_t disk_sectors,
                                                     std::string* error = nullptr);

}  // namespace fendrel::qcom
