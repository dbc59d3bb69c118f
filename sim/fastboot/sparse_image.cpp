#include "sim/fastboot/sparse_image.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace fastboot_sim {
namespace {

constexpr std::uint32_t kSparseMagic = 0xED26FF3A;
constexpr std::uint16_t kMajorVersion = 1;
constexpr std::size_t kFileHeaderSize = 28;
constexpr std::size_t kChunkHeaderSize = 12;
constexpr std::uint16_t kChunkRaw = 0xCAC1;
constexpr std::uint16_t kChunkFill = 0xCAC2;
constexpr std::uint16_t kChunkDontCare = 0xCAC3;
constexpr std::uint16_t kChunkCrc32 = 0xCAC4;
constexpr std::uint32_t kLargestBlock = 1024 * 1024;

struct Header {
    std::size_t file_header_size;
    std::size_t chunk_header_size;
    std::uint32_t block_size;
    std::uint32_t total_blocks;
    std::uint32_t total_chunks;
};

bool Fail(std::string* error, const char* why) {
    *error = why;
    return false;
}

// One pass over the chunks; with `partition` null it only checks them.
bool WalkChunks(const unsigned char* data, std::size_t size, const Header& header,
                Partition* partition, std::string* error) {
    const std::uint64_t image_size = std::uint64_t{header.block_size} * header.total_blocks;
    std::size_t at = header.file_header_size;
    std::uint64_t offset = 0;
    for (std::uint32_t chunk = 0; chunk < header.total_chunks; ++chunk) {
        if (size - at < header.chunk_header_size)
            return Fail(error, "sparse chunk header cut short");
        const unsigned char* head = data + at;
        const std::uint16_t type = platform::LoadLe16(head);
        // A checksum chunk covers no blocks.
        const std::uint64_t length =
            type == kChunkCrc32 ? 0
                                : std::uint64_t{platform::LoadLe32(head + 4)} * header.block_size;
        const std::uint32_t total = platform::LoadLe32(head + 8);
        if (total < header.chunk_header_size || total > size - at)
            return Fail(error, "sparse chunk size out of bounds");
        const unsigned char* body = head + header.chunk_header_size;
        const std::size_t body_size = total - header.chunk_header_size;
        if (length > image_size - offset)
            return Fail(error, "sparse chunk beyond the image");
        switch (type) {
            case kChunkRaw:
                if (body_size != length)
                    return Fail(error, "sparse raw chunk of the wrong size");
                if (partition != nullptr && !partition->WriteAt(offset, body, body_size))
                    return Fail(error, "partition write failed");
                break;
            case kChunkFill: {
                if (body_size != 4)
                    return Fail(error, "sparse fill chunk of the wrong size");
                if (partition == nullptr)
                    break;
                std::vector<unsigned char> block(header.block_size);
                for (std::size_t i = 0; i < block.size(); i += 4)
                    std::memcpy(block.data() + i, body, 4);
                for (std::uint64_t done = 0; done < length; done += block.size()) {
                    if (!partition->WriteAt(offset + done, block.data(), block.size()))
                        return Fail(error, "partition write failed");
                }
                break;
            }
            case kChunkDontCare:
                if (body_size != 0)
                    return Fail(error, "sparse hole chunk with data");
                break;
            case kChunkCrc32:
                if (body_size != 4)
                    return Fail(error, "sparse checksum chunk of the wrong size");
                break;
            default:
                return Fail(error, "unknown sparse chunk type");
        }
        offset += length;
        at += total;
    }
    return true;
}

}  // namespace

bool IsSparseImage(const unsigned char* data, std::size_t size) {
    return size >= kFileHeaderSize && platform::LoadLe32(data) == kSparseMagic;
}

bool WriteSparseImage(const unsigned char* data, std::size_t size, std::uint64_t max_size,
                      Partition& partition, std::string* error) {
    if (!IsSparseImage(data, size))
        return Fail(error, "not a sparse image");
    const Header header = {platform::LoadLe16(data + 8), platform::LoadLe16(data + 10),
                           platform::LoadLe32(data + 12), platform::LoadLe32(data + 16),
                           platform::LoadLe32(data + 20)};
    if (platform::LoadLe16(data + 4) != kMajorVersion ||
        header.file_header_size < kFileHeaderSize || header.file_header_size > size ||
        header.chunk_header_size < kChunkHeaderSize || header.block_size == 0 ||
        header.block_size % 4 != 0 || header.block_size > kLargestBlock)
        return Fail(error, "malformed sparse header");
    if (std::uint64_t{header.block_size} * header.total_blocks > max_size)
        return Fail(error, "image larger than the partition");
    if (!WalkChunks(data, size, header, nullptr, error))
        return false;
    const std::uint64_t image_size = std::uint64_t{header.block_size} * header.total_blocks;
    if (partition.size() != image_size && !partition.Resize(image_size))
        return Fail(error, "partition resize failed");
    return WalkChunks(data, size, header, &partition, error);
}

}  // namespace fastboot_sim
