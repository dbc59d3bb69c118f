// Fuzzes fendrel-msp's plan for a disk as far as the disk itself: any rawprogram0.xml and
// patch0.xml that the reader takes, placed on a disk of a size the input chooses, must be written,
// patched, flushed and read back without a crash, and the read-back must agree, so the writer's
// padding, its patch fields and its verification never contradict each other.
//
// The input is one byte for the disk's size (1 to 256 times 16 KiB), the rawprogram text, a NUL
// byte, then the patch text. The image files the seeds name (a.bin of 1000 bytes, b.bin of 4096)
// lie in a folder made at the first run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qcom/raw_program.h"
#include "tests/fuzz/fuzz_image_folder.h"
#include "tests/tools/memory_target.h"
#include "tools/msp_writer.h"

namespace {

constexpr std::uint64_t kDiskUnit = 16 << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint64_t disk_bytes = (1 + static_cast<std::uint64_t>(data[0])) * kDiskUnit;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = input.find('\0');
    const std::string_view programs = input.substr(0, split);
    const std::string_view patches =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    std::string error;
    const auto layout =
        fendrel::qcom::ParseRawProgram(fendrel::fuzzing::FuzzImageFolder(), "rawprogram0.xml",
                                       programs, "patch0.xml", patches, error);
    if (!layout)
        return 0;
    const auto plan = fendrel::msp::PlanForDisk(*layout, disk_bytes, error);
    if (!plan)
        return 0;
    fendrel::testing::MemoryTarget disk(disk_bytes);
    std::FILE* const quiet = std::fopen("/dev/null", "w");
    fendrel::msp::PlanWriter writer(disk, quiet, "rawprogram0.xml", "patch0.xml");
    const bool written = writer.Write(*plan, true);
    std::fclose(quiet);
    if (!written) {
        std::fprintf(stderr, "a resolved plan did not write and verify: %s\n",
                     writer.error().c_str());
        std::abort();
    }
    return 0;
}
