// What a simulated boot ROM accepts as a programmer, and in which pieces it asks for it.
//
// No real programmer can ship with the simulator, so it takes any image that is laid out like
// one, reading it the way a boot ROM does, piece by piece:
//   1. the first 52 bytes;
//   2. an ELF image (7F 'E' 'L' 'F', 32- or 64-bit, little-endian): the rest of a 64-bit header,
//      then the program header table (1 to 64 entries), then the data of every program header
//      with data (p_filesz > 0), in table order;
//      an MBN image (a 40-byte header whose fifth word, the image size, is 1 byte to 16 MiB and
//      at least its sixth, the code size): the image size's bytes after the header;
//   3. nothing else: anything else is refused (Sahara status 0x14, invalid ELF header).
// Everything asked for must lie within 16 MiB; no single request is longer than 1 MiB.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

class ProgrammerImage {
  public:
    static constexpr std::uint64_t kLargestImage = 16 << 20;
    static constexpr std::uint64_t kLargestRequest = 1 << 20;

    struct Request {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };

    ProgrammerImage();

    // The request the loader makes now (at first: the first 52 bytes).
    Request pending() const { return current_; }

    // The bytes of the request last returned arrived. The next request, or none when the image
    // is complete or refused (see accepted()).
    std::optional<Request> Received(std::span<const std::uint8_t> bytes);

    // Whether the image read so far is one the loader takes (once Received returned none).
    bool accepted() const { return accepted_; }

  private:
    bool Place(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    std::uint64_t Word(std::uint64_t offset, int bytes) const;
    // Queues the data of `offset`, `length` in requests of at most kLargestRequest.
    bool Queue(std::uint64_t offset, std::uint64_t length);
    // Each stage queues its reads; false when the image is not one the loader takes.
    bool ReadHeader();
    bool ReadProgramHeaders();
    bool ReadSegments();
    std::uint64_t TableOffset() const;  // of the ELF program header table
    std::uint64_t EntryBytes() const;
    std::uint64_t Entries() const;

    enum class Stage { kStart, kElfHeader, kProgramHeaders, kData };
    Stage stage_ = Stage::kStart;
    bool wide_ = false;  // ELF64
    std::vector<std::uint8_t> image_;
    std::vector<Request> queue_;  // requests still to make, in order
    Request current_;
    bool accepted_ = false;
};

}  // namespace sim
