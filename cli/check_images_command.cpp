// fendrel-cli check-images APP [BOOT]: the checks a worker runs on an image set before it writes
// anything, for a technician preparing images: the app image's checksum, the marker that app
// and boot image must share, and both trailer words. Exit 0 when the set would pass the checks
// (checksum whole, markers in both or neither, trailer words equal when a boot image is given),
// 1 when not.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/commands_list.h"
#include "engine/image_checks.h"
#include "platform/files.h"

namespace fendrel::cli {
namespace {

const char* ChecksumText(ChecksumResult result) {
    switch (result) {
        case ChecksumResult::kPass:
            return "whole";
        case ChecksumResult::kNoFile:
            return "cannot open (or empty)";
        case ChecksumResult::kBroken:
            break;
    }
    return "BROKEN";
}

const char* MarkerText(MarkerResult result) {
    switch (result) {
        case kMarkerFound:
            return "present";
        case kMarkerNotFound:
            return "absent";
        case kMarkerNotExamined:
            break;
    }
    return "not examined";
}

// Prints the trailer word of `path`; false when there is none to compare.
bool PrintTrailer(const char* label, const std::string& path, std::uint32_t& word) {
    const TrailerRead read = ReadTrailerWord(path);
    if (read.outcome == TrailerRead::kWord) {
        word = read.word;
        std::printf("%s trailer word: 0x%08" PRIx32 "\n", label, word);
        return true;
    }
    std::printf("%s trailer word: %s\n", label,
                read.outcome == TrailerRead::kNoFile ? "cannot open" : "none (file error)");
    return false;
}

int Run(std::span<char* const> arguments) {
    if (arguments.empty() || arguments.size() > 2)
        return UsageError(CheckImagesCommand());
    const std::string app = arguments[0];
    const std::string boot = arguments.size() > 1 ? arguments[1] : "";
    // The checks only tell that a file could not be opened; this tells why.
    for (const std::string& path : {app, boot}) {
        std::string error;
        if (!path.empty() && platform::OpenInputFile(path, &error) == nullptr)
            std::fprintf(stderr, "fendrel-cli check-images: %s\n", error.c_str());
    }

    const ChecksumResult checksum = CheckImageChecksum(app);
    std::printf("app checksum: %s\n", ChecksumText(checksum));
    const MarkerResult app_marker = SearchImageMarker(app);
    const MarkerResult boot_marker = SearchImageMarker(boot);
    std::printf("app marker: %s\n", MarkerText(app_marker));
    bool ok = checksum == ChecksumResult::kPass;
    std::uint32_t app_word = 0, boot_word = 0;
    const bool app_has_word = PrintTrailer("app", app, app_word);
    if (!boot.empty()) {
        std::printf("boot marker: %s\n", MarkerText(boot_marker));
        const bool boot_has_word = PrintTrailer("boot", boot, boot_word);
        ok = ok && app_has_word && boot_has_word && app_word == boot_word;
    }
    const bool markers_differ = (app_marker == kMarkerFound && boot_marker == kMarkerNotFound) ||
                                (app_marker == kMarkerNotFound && boot_marker == kMarkerFound);
    ok = ok && !markers_differ;
    std::printf("%s\n", ok ? "the images pass" : "the images do NOT pass");
    return ok ? 0 : 1;
}

}  // namespace

Command CheckImagesCommand() {
    return {"check-images", "APP [BOOT]",
            "check an image set as a worker does: checksum, shared marker, trailer words", Run};
}

}  // namespace fendrel::cli
