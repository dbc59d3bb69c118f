// Fuzzes the integrity check and the stamp: a stamped text must always check as valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/file_code.h"
#include "tools/file_code_stamp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fendrel::ExamineConfigText(bytes);
    if (!fendrel::ExamineConfigText(fendrel::StampConfigText(bytes)).matches())
        std::abort();
    return 0;
}
