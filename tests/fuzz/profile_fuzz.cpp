// Fuzzes the profile reader: any bytes, looked up under a few section and key names.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    for (const char* section : {"S", "INTERFACE", "", " s "}) {
        for (const char* key : {"K", "PAGES", "", "[K"}) {
            if (const auto value = platform::FindProfileValue(contents, section, key)) {
                platform::ParseProfileInt(*value);
            }
        }
    }
    platform::ParseProfileInt(contents);
    return 0;
}
