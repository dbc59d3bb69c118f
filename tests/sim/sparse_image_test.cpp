// The simulator's reading of Android sparse images.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/fastboot/partition.h"
#include "sim/fastboot/sparse_image.h"

namespace fastboot_sim {
namespace {

constexpr std::uint32_t kBlock = 4096;

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A sparse image of `blocks` blocks made of `chunks` (each already with its 12-byte header).
std::string Sparse(std::uint32_t blocks, const std::vector<std::string>& chunks,
                   std::uint16_t major = 1, std::uint32_t block_size = kBlock) {
    std::string image;
    Put32(image, 0xED26FF3A);
    Put16(image, major);
    Put16(image, 0);
    Put16(image, 28);
    Put16(image, 12);
    Put32(image, block_size);
    Put32(image, blocks);
    Put32(image, static_cast<std::uint32_t>(chunks.size()));
    Put32(image, 0);
    for (const std::string& chunk : chunks)
        image += chunk;
    return image;
}

std::string Chunk(std::uint16_t type, std::uint32_t blocks, const std::string& body) {
    std::string chunk;
    Put16(chunk, type);
    Put16(chunk, 0);
    Put32(chunk, blocks);
    Put32(chunk, static_cast<std::uint32_t>(12 + body.size()));
    return chunk + body;
}

std::string Raw(std::uint32_t blocks, char fill) {
    return Chunk(0xCAC1, blocks, std::string(blocks * kBlock, fill));
}
std::string Fill(std::uint32_t blocks, const std::string& pattern) {
    return Chunk(0xCAC2, blocks, pattern);
}
std::string Hole(std::uint32_t blocks) {
    return Chunk(0xCAC3, blocks, "");
}
std::string Crc() {
    return Chunk(0xCAC4, 0, "\x01\x02\x03\x04");
}

bool Write(const std::string& image, Partition& partition, std::string* error,
           std::uint64_t max_size = 1 << 20) {
    return WriteSparseImage(reinterpret_cast<const unsigned char*>(image.data()), image.size(),
                            max_size, partition, error);
}

TEST(SparseImage, WritesRawAndFillChunksAndKeepsWhatHolesCover) {
    std::unique_ptr<Partition> partition = MakeMemoryPartition();
    partition->Replace(std::vector<unsigned char>(2 * kBlock, 'o'));
    const std::string pattern("ab\0d", 4);
    const std::string image = Sparse(5, {Raw(1, 'r'), Hole(1), Crc(), Fill(2, pattern), Hole(1)});
    std::string error;
    ASSERT_TRUE(Write(image, *partition, &error)) << error;
    std::string fill;
    for (std::uint32_t i = 0; i < 2 * kBlock / 4; ++i)
        fill += pattern;
    EXPECT_EQ(partition->Contents(), std::string(kBlock, 'r') + std::string(kBlock, 'o') + fill +
                                         std::string(kBlock, '\0'));
}

// Pieces of one image, each covering the rest with holes, add up to the whole image.
TEST(SparseImage, PiecesOfOneImageAddUp) {
    std::unique_ptr<Partition> partition = MakeMemoryPartition();
    std::string error;
    ASSERT_TRUE(Write(Sparse(3, {Raw(1, 'a'), Hole(2)}), *partition, &error)) << error;
    ASSERT_TRUE(Write(Sparse(3, {Hole(1), Raw(2, 'b')}), *partition, &error)) << error;
    EXPECT_EQ(partition->Contents(), std::string(kBlock, 'a') + std::string(2 * kBlock, 'b'));
}

TEST(SparseImage, RefusesMalformedImagesAndWritesNothing) {
    std::string cut = Sparse(1, {Raw(1, 'x')});
    cut.resize(cut.size() - 1);
    std::string bad_total = Sparse(1, {Raw(1, 'x')});
    bad_total[28 + 8] = 0x7F;  // chunk total size far beyond the image
    const struct {
        const char* what;
        std::string image;
    } cases[] = {
        {"another major version", Sparse(1, {Raw(1, 'x')}, 2)},
        {"a block size of zero", Sparse(1, {Raw(1, 'x')}, 1, 0)},
        {"a block size not a multiple of 4", Sparse(1, {}, 1, 4098)},
        {"a huge block size", Sparse(0, {Fill(0, "abcd")}, 1, 0x40000000)},
        {"a raw chunk cut short", cut},
        {"a chunk size beyond the data", bad_total},
        {"chunks beyond the image's blocks", Sparse(1, {Raw(1, 'x'), Hole(1)})},
        {"a raw chunk whose data does not match its blocks", Sparse(2, {Chunk(0xCAC1, 2, "xy")})},
        {"a fill without its 4 bytes", Sparse(1, {Chunk(0xCAC2, 1, "ab")})},
        {"an unknown chunk type", Sparse(1, {Chunk(0xCAFF, 1, "")})},
        {"fewer chunks than announced", Sparse(2, {Raw(1, 'x')}).substr(0, 28)},
        {"an image larger than the partition may be", Sparse(1024, {Hole(1024)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Partition> partition = MakeMemoryPartition();
        partition->Replace(std::vector<unsigned char>{'k', 'e', 'e', 'p'});
        std::string error;
        EXPECT_FALSE(Write(c.image, *partition, &error, 1 << 20));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(partition->Contents(), "keep");
    }
}

TEST(SparseImage, ARawImageIsNotSparse) {
    const std::string raw(100, 'r');
    EXPECT_FALSE(IsSparseImage(reinterpret_cast<const unsigned char*>(raw.data()), raw.size()));
}

}  // namespace
}  // namespace fastboot_sim
