// fendrel-make-image-set: an image set for simulated firehose phones (see image_set.h).
//
//   fendrel-make-image-set --folder DIR [--disk-mib N] [--data-mib N] [--seed N]
//                          [--expected FILE]
//
// Writes the set into DIR for a phone whose eMMC holds N MiB (default 64), with N MiB of
// images (default 24) made from the seed (default 1); --expected also writes the disk image a
// blank eMMC holds once the set is written. Exit status 0 on success, 1 when the set cannot be
// made, 2 on a bad command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/imageset/image_set.h"
#include "version/version_option.h"

namespace {

constexpr int kUsageError = 2;
constexpr unsigned long kLargestMib = 64 * 1024;

bool ParseMib(const char* text, std::uint64_t& bytes) {
    char* end = nullptr;
    const unsigned long mib = std::strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0' || mib == 0 || mib > kLargestMib)
        return false;
    bytes = static_cast<std::uint64_t>(mib) << 20;
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: fendrel-make-image-set --folder DIR [--disk-mib N] [--data-mib N] "
                 "[--seed N] [--expected FILE]\n");
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel-make-image-set"))
        return 0;
    sim::ImageSetOptions options;
    std::string expected;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        if (argument == "--folder") {
            options.folder = value;
        } else if (argument == "--disk-mib") {
            if (!ParseMib(value, options.disk_bytes))
                return Usage();
        } else if (argument == "--data-mib") {
            if (!ParseMib(value, options.data_bytes))
                return Usage();
        } else if (argument == "--seed") {
            options.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (argument == "--expected") {
            expected = value;
        } else {
            return Usage();
        }
    }
    if (options.folder.empty())
        return Usage();
    std::string error;
    if (!sim::MakeImageSet(options, error) ||
        (!expected.empty() && !sim::WriteExpectedDisk(options, expected, error))) {
        std::fprintf(stderr, "fendrel-make-image-set: %s\n", error.c_str());
        return 1;
    }
    std::printf("image set in %s\n", options.folder.c_str());
    return 0;
}
