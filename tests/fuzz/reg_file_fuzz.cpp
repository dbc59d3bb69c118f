// Fuzzes the hive file reader: any bytes either parse or are refused, and what parses writes
// back to a text that reads as the same hive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
    const auto hive = platform::ParseRegFile(text, kRoot);
    if (!hive)
        return 0;
    const std::string written = platform::FormatRegFile(*hive, kRoot);
    const auto again = platform::ParseRegFile(written, kRoot);
    if (!again || platform::FormatRegFile(*again, kRoot) != written)
        std::abort();
    return 0;
}
