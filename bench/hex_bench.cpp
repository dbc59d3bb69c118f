// Intel HEX conversion: a 60 KiB programmer (target: well under a millisecond per conversion),
// and a multi-megabyte text of repeated records beside `objcopy -I ihex -O binary` on the same
// file in the same run (target: within 2x).
//
// usage: hex_bench [FOLDER]   (work files go there, default the temp folder)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "engine/intel_hex.h"

namespace {

// 16-byte data records over `bytes` of image, with an extended linear address record before
// every 64 KiB so that outside tools see one contiguous image.
std::string HexText(std::size_t bytes) {
    std::string text;
    char line[64];
    for (std::size_t address = 0; address < bytes; address += 16) {
        if (address % 0x10000 == 0) {
            const unsigned upper = static_cast<unsigned>(address >> 16);
            std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", upper,
                          (0x100 - ((2 + 4 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
            text += line;
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(address & 0xFFFF));
        text += line;
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned value = (address / 16 * 7 + i * 13) & 0xFF;
            sum += value;
            std::snprintf(line, sizeof line, "%02X", value);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string small_hex = (folder / "fendrel-bench-60k.hex").string();
    const std::string big_hex = (folder / "fendrel-bench-big.hex").string();
    const std::string ours = (folder / "fendrel-bench-ours.bin").string();
    const std::string theirs = (folder / "fendrel-bench-objcopy.bin").string();

    const std::string programmer = HexText(60 * 1024);
    Write(small_hex, programmer);
    constexpr int kSmallRounds = 2000;
    std::string binary;
    const double in_memory = fendrel::bench::BestSeconds(
        kSmallRounds, [&] { fendrel::ConvertHexText(programmer, binary); });
    const double file_to_file =
        fendrel::bench::BestSeconds(200, [&] { fendrel::ConvertHexFile(small_hex, ours); });

    const std::string big = HexText(4 * 1024 * 1024);
    Write(big_hex, big);
    constexpr int kBigRounds = 5;
    bool ok = true;
    const double objcopy = fendrel::bench::BestSeconds(kBigRounds, [&] {
        ok &= fendrel::bench::Shell("objcopy -I ihex -O binary '" + big_hex + "' '" + theirs + "'");
    });
    const double converter = fendrel::bench::BestSeconds(
        kBigRounds, [&] { ok &= fendrel::ConvertHexFile(big_hex, ours) > 0; });
    const bool same = std::filesystem::file_size(ours) == std::filesystem::file_size(theirs);

    for (const std::string& path : {small_hex, big_hex, ours, theirs})
        std::filesystem::remove(path);

    std::printf("60 KiB programmer (%zu bytes of text), best run:\n", programmer.size());
    std::printf("  text to binary in memory   %8.1f us\n", in_memory * 1e6);
    std::printf("  file to file (atomic)      %8.1f us\n", file_to_file * 1e6);
    std::printf("%.1f MiB text (4 MiB of image), best of %d:\n",
                static_cast<double>(big.size()) / (1024 * 1024), kBigRounds);
    std::printf("  objcopy -I ihex -O binary  %8.1f ms\n", objcopy * 1e3);
    std::printf("  converter, file to file    %8.1f ms  %.2fx objcopy%s\n", converter * 1e3,
                converter / objcopy, same ? "" : "  (output sizes differ)");
    return ok ? 0 : 1;
}
