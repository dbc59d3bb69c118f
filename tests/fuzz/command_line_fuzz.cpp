// Fuzzes the command line splitter: any text splits into a program name and arguments, and the
// program name, quoted again, reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/processes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto arguments = platform::SplitCommandLine(text);
    if (arguments.empty())
        std::abort();
    const std::string& program = arguments.front();
    const std::string quoted = platform::QuoteProgramPath(program);
    if (program.empty() || quoted.empty())
        return 0;
    const auto again = platform::SplitCommandLine(quoted + " x");
    if (again.size() != 2 || again[0] != program || again[1] != "x")
        std::abort();
    return 0;
}
