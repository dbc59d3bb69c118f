// The flash types of the settings, compared without regard to ASCII case.
#pragma once

#include <string_view>

namespace fendrel {

inline constexpr std::string_view kFlashTypeMulti = "MULTI";  // multi-image phones
inline constexpr std::string_view kFlashTypeEmmc = "EMMC";

bool IsFlashType(std::string_view flash_type, std::string_view name);

}  // namespace fendrel
