// fendrel-msp's command line:
//   fendrel-msp -r RAWPROGRAM.xml [-p PATCH.xml] -d DISK [-n] [--verify]
// -r/--rawprogram and -p/--patch name the layout files (the image files lie beside the rawprogram
// file), -d/--dest the whole disk or disk image to write, -n/--noprompt skips the question before
// writing, --verify reads every written region back. A value may follow its option directly
// ("-rrawprogram0.xml"), as the raw programmer's getopt takes it.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace fendrel::msp {

struct Options {
    std::string rawprogram;
    std::string patch;  // empty: no patches
    std::string disk;
    bool ask = true;
    bool verify = false;
};

inline constexpr char kUsage[] =
    "usage: fendrel-msp -r RAWPROGRAM.xml [-p PATCH.xml] -d DISK [-n] [--verify]\n"
    "  -r, --rawprogram FILE  the regions to write; their image files lie beside FILE\n"
    "  -p, --patch FILE       the fields to fill in on the disk once it is written (DISK patches)\n"
    "  -d, --dest DISK        the whole disk (or disk image file) to write\n"
    "  -n, --noprompt         write without asking first\n"
    "      --verify           read every written region back and compare it\n"
    "Exit status: 0 when everything was written (and verified), 1 when not, 2 for a bad command "
    "line.\n";

// The options of `arguments` (without the program name); none, with `error` saying why, when
// they do not read so.
std::optional<Options> ParseOptions(std::span<char* const> arguments, std::string& error);

}  // namespace fendrel::msp
