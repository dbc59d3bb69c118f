// The image checks: checksum, marker search and trailer words on files, and the worker's two
// steps that use them (the image-checks step of a run, the boot version check of a download).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/image_checks.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using Lines = std::vector<std::string>;

void AppendWord(std::string& bytes, std::uint32_t word) {
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>(word >> (8 * i) & 0xFF);
}

// `length` bytes of varied content (no marker in them), then the checksum of their words.
std::string ImageWithChecksum(std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i)
        bytes += static_cast<char>((i * 131 + 7) % 251);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= length; i += 4) {
        sum += static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 24;
    }
    AppendWord(bytes, sum + kChecksumSeed);
    return bytes;
}

// An image whose trailer points (B - A = record_offset) at a record holding `word`.
std::string ImageWithTrailer(std::uint32_t word, std::uint32_t record_offset = 16) {
    std::string bytes(record_offset, 'x');
    bytes += std::string("\x01\x00\x02\x00", 4);
    AppendWord(bytes, word);
    bytes += std::string(20, 'y');
    AppendWord(bytes, 0x1000);
    AppendWord(bytes, 0x1000 + record_offset);
    AppendWord(bytes, 0);
    return bytes;
}

// Raw trailer values A and B after `body`.
std::string ImageWithRawTrailer(const std::string& body, std::uint32_t a, std::uint32_t b) {
    std::string bytes = body;
    AppendWord(bytes, a);
    AppendWord(bytes, b);
    AppendWord(bytes, 0);
    return bytes;
}

TEST(Checksum, MatchesOnlyTheWholeImage) {
    TempDir dir;
    const std::string path = dir.File("app.mbn");
    // Lengths around the read blocks, and with 1 to 3 bytes that form no whole word.
    for (const std::size_t length : {0u, 4u, 5u, 7u, 4096u, 131072u, 131075u, 300001u}) {
        SCOPED_TRACE(length);
        const std::string image = ImageWithChecksum(length);
        WriteFile(path, image);
        EXPECT_EQ(CheckImageChecksum(path), ChecksumResult::kPass);
        const std::size_t words_end = length / 4 * 4;
        for (const std::size_t at : {std::size_t{0}, words_end / 2, words_end - 1}) {
            if (words_end == 0)
                break;
            std::string changed = image;
            changed[at] = static_cast<char>(changed[at] ^ 0x01);
            WriteFile(path, changed);
            EXPECT_EQ(CheckImageChecksum(path), ChecksumResult::kBroken) << "byte " << at;
        }
        if (words_end < length) {
            // The bytes after the last whole word take no part in the sum.
            std::string changed = image;
            changed[length - 1] = static_cast<char>(changed[length - 1] ^ 0x55);
            WriteFile(path, changed);
            EXPECT_EQ(CheckImageChecksum(path), ChecksumResult::kPass);
        }
        std::string bad_sum = image;
        bad_sum.back() = static_cast<char>(bad_sum.back() ^ 0x80);
        WriteFile(path, bad_sum);
        EXPECT_EQ(CheckImageChecksum(path), ChecksumResult::kBroken);
    }
}

TEST(Checksum, MissingEmptyAndTooShortFiles) {
    TempDir dir;
    EXPECT_EQ(CheckImageChecksum(""), ChecksumResult::kPass);
    EXPECT_EQ(CheckImageChecksum(dir.File("missing")), ChecksumResult::kNoFile);
    EXPECT_EQ(CheckImageChecksum(dir.path()), ChecksumResult::kNoFile);  // a folder
    WriteFile(dir.File("empty"), "");
    EXPECT_EQ(CheckImageChecksum(dir.File("empty")), ChecksumResult::kNoFile);
    // Too short to hold a checksum: no sum to compare with, so it is broken.
    WriteFile(dir.File("short"), std::string("\x1C\x1C\x1C", 3));
    EXPECT_EQ(CheckImageChecksum(dir.File("short")), ChecksumResult::kBroken);
}

TEST(MarkerSearch, FindsTheMarkerAtEveryPosition) {
    TempDir dir;
    const std::string path = dir.File("image");
    const std::string marker(kImageMarker);
    // A small file at every position, the last (ending at the file's end) included, and a file
    // larger than the read blocks around their boundaries and its end.
    struct Case {
        std::size_t length;
        std::size_t first, last;
    };
    const Case cases[] = {
        {16, 0, 0},
        {300, 0, 284},
        {9000, 4060, 4100},
        {140000, 131072 - 20, 131072 + 4},
        {140000, 140000 - 20, 140000 - 16},
    };
    for (const Case& c : cases) {
        for (std::size_t at = c.first; at <= c.last; ++at) {
            std::string bytes(c.length, '\0');
            bytes.replace(at, marker.size(), marker);
            WriteFile(path, bytes);
            EXPECT_EQ(SearchImageMarker(path), kMarkerFound) << c.length << " at " << at;
        }
    }
}

TEST(MarkerSearch, PartialMarkersMissingAndUnreadableFiles) {
    TempDir dir;
    const std::string marker(kImageMarker);
    const std::pair<std::string, MarkerResult> cases[] = {
        {"", kMarkerNotFound},
        {marker.substr(0, 15), kMarkerNotFound},
        {std::string(5000, 'a') + marker.substr(0, 15), kMarkerNotFound},
        {marker.substr(1) + std::string(5000, 'a'), kMarkerNotFound},
        {"7QW2240MRT5,KX3p", kMarkerNotFound},  // compared byte for byte
        {"7QW2240MRT5,KX37QW2240MRT5,KX3P", kMarkerFound},
    };
    for (const auto& [bytes, result] : cases) {
        WriteFile(dir.File("image"), bytes);
        EXPECT_EQ(SearchImageMarker(dir.File("image")), result) << bytes.size();
    }
    EXPECT_EQ(SearchImageMarker(""), kMarkerNotExamined);
    EXPECT_EQ(SearchImageMarker(dir.File("missing")), kMarkerNotExamined);
    EXPECT_EQ(SearchImageMarker(dir.path()), kMarkerNotExamined);
}

TEST(TrailerWord, ReadsTheRecordTheTrailerPointsAt) {
    TempDir dir;
    const std::string path = dir.File("image");
    WriteFile(path, ImageWithTrailer(0x10000042));
    EXPECT_EQ(ReadTrailerWord(path).outcome, TrailerRead::kWord);
    EXPECT_EQ(ReadTrailerWord(path).word, 0x10000042u);
    WriteFile(path, ImageWithTrailer(7, 0));
    EXPECT_EQ(ReadTrailerWord(path).word, 7u);
    EXPECT_EQ(ReadTrailerWord(dir.File("missing")).outcome, TrailerRead::kNoFile);
}

TEST(TrailerWord, OffsetsOutsideTheFileAreFileErrors) {
    TempDir dir;
    const std::string path = dir.File("image");
    const std::string body(100, 'b');  // file length 112
    struct Case {
        std::string bytes;
        TrailerRead::Outcome outcome;
    };
    const Case cases[] = {
        {std::string(11, 'x'), TrailerRead::kFileError},               // no room for a trailer
        {ImageWithRawTrailer(body, 10, 5), TrailerRead::kFileError},   // B - A negative
        {ImageWithRawTrailer(body, 0, 104), TrailerRead::kWord},       // record is the last 8 bytes
        {ImageWithRawTrailer(body, 0, 105), TrailerRead::kFileError},  // record runs past the end
        {ImageWithRawTrailer(body, 0, 112), TrailerRead::kFileError},  // at the end
        {ImageWithRawTrailer(body, 0, 0xFFFFFFFF), TrailerRead::kFileError},
        {ImageWithRawTrailer(body, 0xFFFFFFFF, 0), TrailerRead::kFileError},
        {ImageWithRawTrailer("", 0, 0), TrailerRead::kWord},  // 12 bytes: the trailer itself
    };
    for (const Case& c : cases) {
        WriteFile(path, c.bytes);
        EXPECT_EQ(ReadTrailerWord(path).outcome, c.outcome) << c.bytes.size();
    }
}

// A normal-mode run whose image checks see the files written here.
struct ImageRig : WorkerRig {
    ImageRig() : WorkerRig("COM3", PORT_KIND_DIAG) {
        params.app_path = dir.File("app.mbn");
        params.boot_path = dir.File("boot.mbn");
    }
    // The lines after "STATUS 3 Detecting phone..." up to END; the port's closing follows it.
    Lines AfterDetection() const {
        const Lines steps = journal.Steps();
        const auto end = std::find_if(steps.begin(), steps.end(), [](const std::string& line) {
            return line.starts_with("END");
        });
        return Lines(steps.begin() + 6, end == steps.end() ? end : end + 1);
    }
    TempDir dir;
};

TEST(ImageChecksStep, FailsWithTheCheckTextBeforeAnythingIsWritten) {
    const std::string marked = "..." + std::string(kImageMarker) + "...";
    struct Case {
        const char* name;
        const char* flash_type;
        int check_sum;
        std::string app;
        std::string boot;  // not written when empty
        Lines after;
    };
    std::string broken = ImageWithChecksum(64);
    broken[3] ^= 1;
    const Case cases[] = {
        {"broken app",
         "",
         1,
         broken,
         "",
         {"ERROR 3 The download file is broken!", "ERROR 3 The download file is broken!", "END 3"}},
        {"missing app",
         "",
         1,
         "",
         "",
         {"ERROR 3 Can not find app file!", "ERROR 3 Can not find app file!", "END 3"}},
        {"whole app",
         "",
         1,
         ImageWithChecksum(64),
         "",
         {"nv-backup", "switch", "mass-storage", "SUCCESS 3", "END 3"}},
        {"broken app, checksum off",
         "",
         0,
         broken,
         "",
         {"nv-backup", "switch", "mass-storage", "SUCCESS 3", "END 3"}},
        {"marker only in app",
         "",
         0,
         marked,
         "no marker",
         {"ERROR 3 App image and boot image not match!",
          "ERROR 3 App image and boot image not match!", "END 3"}},
        {"marker only in boot",
         "",
         0,
         "no marker",
         marked,
         {"ERROR 3 App image and boot image not match!",
          "ERROR 3 App image and boot image not match!", "END 3"}},
        {"marker in both",
         "",
         0,
         marked,
         marked,
         {"nv-backup", "switch", "mass-storage", "SUCCESS 3", "END 3"}},
        {"marker in app, no boot file",
         "",
         0,
         marked,
         "",
         {"nv-backup", "switch", "mass-storage", "SUCCESS 3", "END 3"}},
        {"multi skips the checks",
         "MULTI",
         1,
         broken,
         "no marker",
         {"nv-backup", "switch", "mass-storage", "SUCCESS 3", "END 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRig rig;
        rig.params.flash_type = c.flash_type;
        rig.params.check_sum = c.check_sum;
        if (!c.app.empty())
            WriteFile(rig.params.app_path, c.app);
        if (!c.boot.empty())
            WriteFile(rig.params.boot_path, c.boot);
        rig.RunHere();
        EXPECT_EQ(rig.AfterDetection(), c.after);
    }
}

TEST(ImageChecksStep, KeepsBothMarkerResults) {
    ImageRig rig;
    WriteFile(rig.params.app_path, "no marker");
    rig.params.boot_path.clear();
    rig.RunHere();
    EXPECT_EQ(rig.worker->app_marker(), kMarkerNotFound);
    EXPECT_EQ(rig.worker->boot_marker(), kMarkerNotExamined);
}

TEST(BootVersionCheck, ComparesTrailersAndTheBootBlock) {
    constexpr std::uint32_t kAppWord = 0x10000005;
    struct Case {
        const char* name;
        bool boot_file;           // a boot path (to a file with the app's trailer word, unless
        std::uint32_t boot_word;  // boot_word says otherwise)
        DL_RET_E_TYPE bbinfo;
        std::uint32_t block;
        DL_RET_E_TYPE verify;
        Lines lines;  // from the boot check on
    };
    const Case cases[] = {
        {"trailers differ",
         true,
         0x10000006,
         DMSS_SUCCESS,
         kAppWord,
         DMSS_SUCCESS,
         {"ERROR 7 App image and boot image not match!"}},
        {"no boot block, no boot image",
         false,
         0,
         DMSS_TIMEOUT,
         0,
         DMSS_SUCCESS,
         {"get bbinfo", "ERROR 7 Can not find ram file!"}},
        {"no boot block, boot image",
         true,
         kAppWord,
         DMSS_TIMEOUT,
         0,
         DMSS_SUCCESS,
         {"get bbinfo", "load NorDL.dll"}},
        {"old boot block",
         false,
         0,
         DMSS_SUCCESS,
         0x10000000,
         DMSS_SUCCESS,
         {"get bbinfo", "ERROR 7 Can not find ram file!"}},
        {"boot block of the app",
         false,
         0,
         DMSS_SUCCESS,
         kAppWord,
         DMSS_SUCCESS,
         {"get bbinfo", "verify version 256", "load NorDL.dll"}},
        {"boot block of another app",
         false,
         0,
         DMSS_SUCCESS,
         0x10000009,
         DMSS_SUCCESS,
         {"get bbinfo", "verify version 256", "ERROR 7 App image and boot image not match!"}},
        {"boot block for any app",
         true,
         kAppWord,
         DMSS_SUCCESS,
         0x10000001,
         DMSS_SUCCESS,
         {"get bbinfo", "verify version 256", "load NorDL.dll"}},
        {"version refused",
         false,
         0,
         DMSS_SUCCESS,
         0x10000001,
         DMSS_REJECTED,
         {"get bbinfo", "verify version 256", "ERROR 7 Boot verify version fail!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig("COM7", PORT_KIND_DLOAD);
        TempDir dir;
        rig.params.new_boot = 1;
        rig.params.app_path = dir.File("app.mbn");
        WriteFile(rig.params.app_path, ImageWithTrailer(kAppWord));
        if (c.boot_file) {
            rig.params.boot_path = dir.File("boot.mbn");
            WriteFile(rig.params.boot_path, ImageWithTrailer(c.boot_word));
        }
        rig.channels.download->bbinfo_result = c.bbinfo;
        rig.channels.download->boot_block = c.block;
        rig.channels.download->verify_result = c.verify;
        rig.RunHere();
        const Lines steps = rig.journal.Steps();
        const auto from = std::find(steps.begin(), steps.end(), "nv-backup") + 1;
        ASSERT_LE(from + static_cast<long>(c.lines.size()), steps.end());
        EXPECT_EQ(Lines(from, from + static_cast<long>(c.lines.size())), c.lines);
    }
}

TEST(BootVersionCheck, UnreadableImagesNeverMatch) {
    WorkerRig rig("COM7", PORT_KIND_DLOAD);
    TempDir dir;
    rig.params.new_boot = 1;
    rig.params.app_path = dir.File("missing-app.mbn");
    rig.params.boot_path = dir.File("missing-boot.mbn");
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    const auto from = std::find(steps.begin(), steps.end(), "nv-backup") + 1;
    EXPECT_EQ(Lines(from, from + 4),
              (Lines{"ERROR 7 Can not find app file!", "ERROR 7 Can not find boot file!",
                     "ERROR 7 App image and boot image not match!",
                     "ERROR 7 App image and boot image not match!"}));
}

}  // namespace
}  // namespace fendrel::testing
