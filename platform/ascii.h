// Case rules of the Windows calls the platform layer stands in for: names compare without regard
// to the case of ASCII letters, and every other byte (of a multi-byte character too) is kept as
// it is.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

inline std::string AsciiLowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        c = AsciiLower(c);
    return lowered;
}

}  // namespace platform
