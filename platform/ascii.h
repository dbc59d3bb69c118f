// Case rules of the Windows calls the platform layer stands in for: names compare without regard
// to the case of ASCII letters, and every other byte (of a multi-byte character too) is kept as
// it is.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Hash and equality of names without regard to ASCII case, for hash tables of names; both take
// any string type, so a table of std::string is searched with a std::string_view as it is.
struct AsciiCaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        // FNV-1a over the lower-cased bytes.
        std::uint64_t hash = 14695981039346656037ull;
        for (const char c : text) {
            hash ^= static_cast<unsigned char>(AsciiLower(c));
            hash *= 1099511628211ull;
        }
        return static_cast<std::size_t>(hash);
    }
};

struct AsciiCaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return EqualsIgnoringAsciiCase(a, b);
    }
};

}  // namespace platform
