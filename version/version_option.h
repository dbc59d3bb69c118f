// `PROGRAM --version`, the same for every program of the project.
#pragma once

#include <cstdio>
#include <string_view>

#include "version/version_number.h"

namespace fendrel {

// When the command line is the single word --version: prints "PROGRAM VERSION" on standard
// output and returns true (the program then exits with status 0). Any other command line: false,
// nothing printed.
inline bool ShowVersionIfAsked(int argc, char** argv, std::string_view program) {
    if (argc != 2 || std::string_view(argv[1]) != "--version")
        return false;
    std::printf("%.*s %s\n", static_cast<int>(program.size()), program.data(), kVersion);
    std::fflush(stdout);
    return true;
}

}  // namespace fendrel
