// Fuzzes the text override reader on files of any content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/text_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fendrel-override-fuzz-" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    for (const auto& [number, text] : fendrel::ReadTextOverrides(path)) {
        if (text.empty() || text.size() > fendrel::kMaxOverrideLineLength)
            std::abort();
    }
    return 0;
}
