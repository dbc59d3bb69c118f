// The command line of brenlo-flash.
#pragma once

#include <string>

#include "fastboot/brenlo.h"

namespace brenlo::flash_tool {

struct Options {
    flash_request request{};  // flags, paths and the interface name; no callback yet
    // Brenlo's Windows name, which the dynamic-library service maps to libbrenlo.so on POSIX.
    std::string library = "brenlo.dll";
    bool silent = false;
    bool help = false;  // -h or --help: print the usage, do nothing else
};

// Fills `options` from the arguments after the program name; false with `error` set on a bad
// command line.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

extern const char kUsage[];

}  // namespace brenlo::flash_tool
