// The checks of app and boot image files before anything is written to a phone.
//
// Each reads its file in bounded blocks, never the whole image at once, and never outside the
// file: offsets that an image's trailer points at are checked against the file's length first.
// Only regular files are read (platform::OpenInputFile): a folder, a device or a FIFO counts as a
// file that cannot be opened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fendrel {

// The app image's last four bytes hold the 32-bit little-endian sum (wrapping) of all complete
// little-endian 32-bit words before them, plus this.
inline constexpr std::uint32_t kChecksumSeed = 0x1C1C1C1C;

enum class ChecksumResult {
    kPass,    // the stored sum matches (or there is no app image to check)
    kNoFile,  // the file cannot be opened, or is empty
    kBroken,  // the sum does not match, the file is too short to hold one, or it cannot be read
};

// The checksum test of the app image at `path`; an empty path passes.
ChecksumResult CheckImageChecksum(const std::string& path);

// The 16-character marker that app and boot images of one set either both hold or both lack.
inline constexpr std::string_view kImageMarker = "7QW2240MRT5,KX3P";

enum MarkerResult : int {
    kMarkerNotFound = 0,
    kMarkerFound = 1,
    kMarkerNotExamined = 2,  // no path, or the file cannot be opened or read
};

// Whether the file at `path` holds kImageMarker anywhere, its last 16 bytes included.
MarkerResult SearchImageMarker(const std::string& path);

// An image's trailer: its last 12 bytes begin with two 32-bit little-endian values A and B; at
// file offset B - A lies a record of two 16-bit values and the 32-bit trailer word.
struct TrailerRead {
    enum Outcome {
        kWord,       // `word` holds the trailer word
        kNoFile,     // the file cannot be opened
        kFileError,  // too short, an offset outside the file, or a failed read
    };
    Outcome outcome;
    std::uint32_t word;
};

TrailerRead ReadTrailerWord(const std::string& path);

}  // namespace fendrel
