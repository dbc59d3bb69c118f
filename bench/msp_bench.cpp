// fendrel-msp writing 256 MiB of regions (four images of 64 MiB, one after another) to a disk
// image file, beside `dd bs=4M conv=fsync` writing the same bytes to another one, in the same
// run; then the same write with --verify, whose extra time is the read-back. Both targets are
// fresh sparse files of 512 MiB each round, and both commands end with their data flushed.
// Target: fendrel-msp within 1.1x of dd. Figures are medians of the rounds.
//
// usage: msp_bench [FOLDER]   (work files there, default the temp folder; removed at the end)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/processes.h"

namespace {

namespace fs = std::filesystem;

constexpr int kImages = 4;
constexpr std::uint64_t kImageBytes = 64ull << 20;
constexpr std::uint64_t kTargetBytes = 512ull << 20;
constexpr std::uint32_t kSector = 512;
constexpr int kRounds = 5;

bool WriteImage(const fs::path& path, unsigned seed) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> block(1 << 17);
    for (std::uint64_t written = 0; written < kImageBytes; written += block.size() * 8) {
        for (std::uint64_t& word : block)
            word = random();
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
    return static_cast<bool>(out);
}

bool FreshTarget(const fs::path& path) {
    std::error_code failure;
    fs::remove(path, failure);
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, kTargetBytes, failure);
    return !failure;
}

// Runs `arguments` (program first) and waits; its run time in seconds, or a negative number
// when it failed.
double Timed(const std::vector<std::string>& arguments) {
    std::string command_line = platform::QuoteProgramPath(arguments.front());
    for (std::size_t i = 1; i < arguments.size(); ++i)
        command_line += " " + platform::QuoteArgument(arguments[i]);
    const auto start = std::chrono::steady_clock::now();
    platform::ChildProcess process;
    if (process.Start(command_line) != platform::ChildProcess::StartResult::kStarted)
        return -1;
    std::string output;
    char piece[4096];
    while (const std::size_t count = process.ReadOutput(piece, sizeof piece))
        output.append(piece, count);
    if (process.Wait(std::chrono::hours(1)) != platform::ChildProcess::WaitResult::kEnded ||
        process.exit_code() != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", arguments.front().c_str(), output.c_str());
        return -1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder =
        (argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()) / "fendrel-msp-bench";
    fs::create_directories(folder);
    std::string rawprogram = "<?xml version=\"1.0\" ?>\n<data>\n";
    std::ofstream joined(folder / "joined.bin", std::ios::binary);
    for (int i = 0; i < kImages; ++i) {
        const std::string name = "image" + std::to_string(i) + ".bin";
        if (!WriteImage(folder / name, static_cast<unsigned>(i + 1))) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
        joined << std::ifstream(folder / name, std::ios::binary).rdbuf();
        rawprogram += "  <program SECTOR_SIZE_IN_BYTES=\"512\" filename=\"" + name +
                      "\" label=\"part" + std::to_string(i) +
                      "\" num_partition_sectors=\"0\" physical_partition_number=\"0\" "
                      "start_sector=\"" +
                      std::to_string(i * kImageBytes / kSector) + "\" />\n";
    }
    joined.close();
    std::ofstream(folder / "rawprogram0.xml") << rawprogram << "</data>\n";

    const std::string layout = (folder / "rawprogram0.xml").string();
    const std::string msp_disk = (folder / "msp-disk.img").string();
    const std::string dd_disk = (folder / "dd-disk.img").string();
    std::vector<double> msp, dd, verified;
    for (int round = 0; round < kRounds; ++round) {
        FreshTarget(msp_disk);
        FreshTarget(dd_disk);
        msp.push_back(Timed({FENDREL_MSP_TOOL, "-n", "-r", layout, "-d", msp_disk}));
        dd.push_back(Timed({"/bin/dd", "if=" + (folder / "joined.bin").string(), "of=" + dd_disk,
                            "bs=4M", "conv=fsync,notrunc", "status=none"}));
        FreshTarget(msp_disk);
        verified.push_back(
            Timed({FENDREL_MSP_TOOL, "-n", "--verify", "-r", layout, "-d", msp_disk}));
        if (msp.back() < 0 || dd.back() < 0 || verified.back() < 0)
            return 1;
    }
    const double msp_seconds = fendrel::bench::Median(msp), dd_seconds = fendrel::bench::Median(dd);
    const double verified_seconds = fendrel::bench::Median(verified);
    const double mib = static_cast<double>(kImages * kImageBytes) / (1 << 20);
    std::printf("256 MiB of regions to a file, median of %d rounds:\n", kRounds);
    std::printf("  fendrel-msp           %.3f s  %.0f MiB/s\n", msp_seconds, mib / msp_seconds);
    std::printf("  dd bs=4M conv=fsync   %.3f s  %.0f MiB/s\n", dd_seconds, mib / dd_seconds);
    std::printf("  ratio                 %.2f (goal at most 1.1)\n", msp_seconds / dd_seconds);
    std::printf("  with --verify         %.3f s  (the read-back: %.3f s)\n", verified_seconds,
                verified_seconds - msp_seconds);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
