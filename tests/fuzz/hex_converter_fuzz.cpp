// Fuzzes the Intel HEX converter with any text; the output must be whole 16-byte records and
// never longer than the image area size it reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/intel_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string binary;
    const int result = fendrel::ConvertHexText(text, binary);
    if (result == fendrel::kHexNoEndRecord) {
        if (!binary.empty())
            std::abort();
        return 0;
    }
    if (result < 0 || binary.size() % 16 != 0 || binary.size() > static_cast<std::size_t>(result))
        std::abort();
    return 0;
}
