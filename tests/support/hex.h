// Bytes written as hex text in tests ("7e 01 0a"), as protocol references print them.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace fendrel::testing {

inline std::vector<std::uint8_t> HexBytes(const std::string& text) {
    std::istringstream words(text);
    std::vector<std::uint8_t> bytes;
    unsigned value;
    while (words >> std::hex >> value)
        bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

}  // namespace fendrel::testing
