// The checksum test and the marker search over a 512 MiB image held in the page cache, each
// beside `cat FILE > /dev/null` on the same file in the same run. Target: the checksum within 1.5x
// of cat, the marker search within 1.1x.
//
// usage: image_checks_bench [FOLDER]   (the image is written there, default the temp folder,
// and removed at the end)
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "engine/image_checks.h"

namespace {

constexpr std::uint64_t kImageSize = 512ull * 1024 * 1024;
constexpr int kRounds = 5;

// Varied bytes without the marker, and the checksum in the last four, so both checks read the
// whole file and the checksum passes.
bool WriteImage(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint32_t> block(1 << 18);
    std::uint32_t state = 12345, sum = 0;
    for (std::uint64_t written = 0; written < kImageSize - 4;) {
        const std::uint64_t words =
            std::min<std::uint64_t>(block.size(), (kImageSize - 4 - written) / 4);
        for (std::uint64_t i = 0; i < words; ++i) {
            state = state * 1664525u + 1013904223u;
            block[i] = state;
            sum += state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(words * 4));
        written += words * 4;
    }
    const std::uint32_t stored = sum + fendrel::kChecksumSeed;
    out.write(reinterpret_cast<const char*>(&stored), 4);  // little-endian host
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string path = (folder / "fendrel-bench-image.bin").string();
    if (!WriteImage(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    const std::string cat = "cat '" + path + "' > /dev/null";
    fendrel::bench::Shell(cat);  // into the page cache

    bool ok = true;
    const double cat_seconds =
        fendrel::bench::BestSeconds(kRounds, [&] { ok &= fendrel::bench::Shell(cat); });
    const double checksum_seconds = fendrel::bench::BestSeconds(kRounds, [&] {
        ok &= fendrel::CheckImageChecksum(path) == fendrel::ChecksumResult::kPass;
    });
    const double marker_seconds = fendrel::bench::BestSeconds(
        kRounds, [&] { ok &= fendrel::SearchImageMarker(path) == fendrel::kMarkerNotFound; });
    std::filesystem::remove(path);

    const double mib = static_cast<double>(kImageSize) / (1024 * 1024);
    std::printf("512 MiB image in the page cache, best of %d:\n", kRounds);
    std::printf("  cat > /dev/null   %7.1f ms  %6.0f MiB/s\n", cat_seconds * 1e3,
                mib / cat_seconds);
    std::printf("  checksum test     %7.1f ms  %6.0f MiB/s  %.2fx cat\n", checksum_seconds * 1e3,
                mib / checksum_seconds, checksum_seconds / cat_seconds);
    std::printf("  marker search     %7.1f ms  %6.0f MiB/s  %.2fx cat\n", marker_seconds * 1e3,
                mib / marker_seconds, marker_seconds / cat_seconds);
    if (!ok) {
        std::fprintf(stderr, "a check gave an unexpected result\n");
        return 1;
    }
    return 0;
}
