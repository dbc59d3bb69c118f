// fendrel-cli hex2bin IN OUT: turns an Intel HEX programmer file into the flat binary the
// download needs, as the multi-download page does before a run. Prints the converter's result
// (the image area size, or -1 / -2); exits 0 only for a size.
#include <cstdio>
#include <string>

#include "cli/commands_list.h"
#include "engine/intel_hex.h"

namespace fendrel::cli {
namespace {

int Run(std::span<char* const> arguments) {
    if (arguments.size() != 2)
        return UsageError(Hex2BinCommand());
    std::string error;
    const int result = ConvertHexFile(arguments[0], arguments[1], &error);
    std::printf("%d\n", result);
    if (result == kHexCannotOpen) {
        std::fprintf(stderr, "fendrel-cli hex2bin: %s\n", error.c_str());
    } else if (result == kHexNoEndRecord) {
        std::fprintf(stderr, "fendrel-cli hex2bin: '%s' has no end record (:00000001)\n",
                     arguments[0]);
    }
    return result >= 0 ? 0 : 1;
}

}  // namespace

Command Hex2BinCommand() {
    return {"hex2bin", "IN OUT", "convert an Intel HEX programmer file to a flat binary file", Run};
}

}  // namespace fendrel::cli
