#include "engine/image_checks.h"

#include <cstring>
#include <memory>

#include "engine/marker_search.h"
#include "platform/byte_order.h"
#include "platform/files.h"

namespace fendrel {
namespace {

// Reads go through blocks of this size: a multiple of 4, so every block but the last holds
// whole words, and as large as the blocks the system's own copy tools use.
constexpr std::size_t kReadBlock = 128 * 1024;
static_assert(kReadBlock % 4 == 0);

constexpr std::size_t kChecksumLength = 4;
constexpr std::size_t kTrailerLength = 12;
constexpr std::size_t kTrailerRecordLength = 8;  // two 16-bit values, then the 32-bit word

std::uint32_t SumOfWords(const unsigned char* bytes, std::size_t length) {
    // Eight independent lanes of a fixed count: the compiler turns this into vector adds, which
    // keeps the sum well below the cost of reading the file.
    constexpr std::size_t kLanes = 8;
    std::uint32_t lanes[kLanes] = {};
    std::size_t i = 0;
    for (; i + 4 * kLanes <= length; i += 4 * kLanes) {
        for (std::size_t lane = 0; lane < kLanes; ++lane)
            lanes[lane] += platform::LoadLe32(bytes + i + 4 * lane);
    }
    std::uint32_t sum = 0;
    for (const std::uint32_t lane : lanes)
        sum += lane;
    for (; i + 4 <= length; i += 4)
        sum += platform::LoadLe32(bytes + i);
    return sum;
}

}  // namespace

ChecksumResult CheckImageChecksum(const std::string& path) {
    if (path.empty())
        return ChecksumResult::kPass;
    const std::unique_ptr<platform::InputFile> file = platform::OpenInputFile(path);
    if (file == nullptr || file->size() == 0)
        return ChecksumResult::kNoFile;
    if (file->size() < kChecksumLength)
        return ChecksumResult::kBroken;

    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kReadBlock);
    std::uint64_t remaining = file->size() - kChecksumLength;
    std::uint32_t sum = 0;
    while (remaining > 0) {
        const std::size_t wanted = remaining < kReadBlock ? remaining : kReadBlock;
        if (file->Read(buffer.get(), wanted) != wanted)
            return ChecksumResult::kBroken;
        // Blocks are whole words except the last, whose trailing bytes take no part.
        sum += SumOfWords(buffer.get(), wanted);
        remaining -= wanted;
    }
    unsigned char stored[kChecksumLength];
    if (!file->ReadAt(file->size() - kChecksumLength, stored, sizeof stored))
        return ChecksumResult::kBroken;
    return sum + kChecksumSeed == platform::LoadLe32(stored) ? ChecksumResult::kPass
                                                             : ChecksumResult::kBroken;
}

MarkerResult SearchImageMarker(const std::string& path) {
    const std::unique_ptr<platform::InputFile> file = platform::OpenInputFile(path);
    if (file == nullptr)
        return kMarkerNotExamined;
    // Each block is searched together with the last bytes of the block before it, so a marker
    // that straddles two blocks is found, and so is one that ends at the file's last byte.
    constexpr std::size_t kCarry = kImageMarker.size() - 1;
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCarry + kReadBlock);
    std::size_t held = 0;
    for (;;) {
        const std::optional<std::size_t> got = file->Read(buffer.get() + held, kReadBlock);
        if (!got)
            return kMarkerNotExamined;
        if (*got == 0)
            return kMarkerNotFound;
        held += *got;
        if (ContainsMarker({buffer.get(), held}, kImageMarker))
            return kMarkerFound;
        const std::size_t keep = held < kCarry ? held : kCarry;
        memmove(buffer.get(), buffer.get() + held - keep, keep);
        held = keep;
    }
}

TrailerRead ReadTrailerWord(const std::string& path) {
    const std::unique_ptr<platform::InputFile> file = platform::OpenInputFile(path);
    if (file == nullptr)
        return {TrailerRead::kNoFile, 0};
    if (file->size() < kTrailerLength)
        return {TrailerRead::kFileError, 0};
    unsigned char trailer[8];
    if (!file->ReadAt(file->size() - kTrailerLength, trailer, sizeof trailer))
        return {TrailerRead::kFileError, 0};
    const long long offset = static_cast<long long>(platform::LoadLe32(trailer + 4)) -
                             static_cast<long long>(platform::LoadLe32(trailer));
    if (offset < 0 || static_cast<std::uint64_t>(offset) + kTrailerRecordLength > file->size())
        return {TrailerRead::kFileError, 0};
    unsigned char record[kTrailerRecordLength];
    if (!file->ReadAt(static_cast<std::uint64_t>(offset), record, sizeof record))
        return {TrailerRead::kFileError, 0};
    return {TrailerRead::kWord, platform::LoadLe32(record + 4)};
}

}  // namespace fendrel
