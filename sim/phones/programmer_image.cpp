#include "sim/phones/programmer_image.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr std::uint64_t kFirstRead = 52;  // an ELF32 header
constexpr std::uint64_t kElf64Header = 64;
constexpr std::uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr std::uint8_t kElf32 = 1, kElf64 = 2, kLittleEndian = 1;
constexpr std::size_t kClassOffset = 4, kDataOffset = 5;
constexpr std::uint64_t kMaxProgramHeaders = 64;
constexpr std::uint64_t kElf32ProgramHeader = 32, kElf64ProgramHeader = 56;

constexpr std::uint64_t kMbnHeader = 40;
constexpr std::uint64_t kMbnImageSizeOffset = 16, kMbnCodeSizeOffset = 20;

}  // namespace

ProgrammerImage::ProgrammerImage() : current_{0, kFirstRead} {}

bool ProgrammerImage::Place(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (offset + bytes.size() > kLargestImage)
        return false;
    if (image_.size() < offset + bytes.size())
        image_.resize(offset + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

std::uint64_t ProgrammerImage::Word(std::uint64_t offset, int bytes) const {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | image_.at(offset + static_cast<std::uint64_t>(i));
    return value;
}

bool ProgrammerImage::Queue(std::uint64_t offset, std::uint64_t length) {
    if (offset > kLargestImage || length > kLargestImage - offset)
        return false;
    for (std::uint64_t done = 0; done < length; done += kLargestRequest)
        queue_.push_back({offset + done, std::min(kLargestRequest, length - done)});
    return true;
}

bool ProgrammerImage::ReadHeader() {
    const bool elf = std::memcmp(image_.data(), kElfMagic, sizeof kElfMagic) == 0;
    if (elf && image_[kDataOffset] == kLittleEndian &&
        (image_[kClassOffset] == kElf32 || image_[kClassOffset] == kElf64)) {
        wide_ = image_[kClassOffset] == kElf64;
        stage_ = Stage::kElfHeader;
        return !wide_ || Queue(kFirstRead, kElf64Header - kFirstRead);
    }
    const std::uint64_t image_size = Word(kMbnImageSizeOffset, 4);
    const std::uint64_t code_size = Word(kMbnCodeSizeOffset, 4);
    if (elf || image_size == 0 || image_size > kLargestImage - kMbnHeader || code_size > image_size)
        return false;
    stage_ = Stage::kData;
    return Queue(kMbnHeader, image_size);
}

std::uint64_t ProgrammerImage::TableOffset() const {
    return wide_ ? Word(32, 8) : Word(28, 4);
}
std::uint64_t ProgrammerImage::EntryBytes() const {
    return wide_ ? Word(54, 2) : Word(42, 2);
}
std::uint64_t ProgrammerImage::Entries() const {
    return wide_ ? Word(56, 2) : Word(44, 2);
}

bool ProgrammerImage::ReadProgramHeaders() {
    if (Entries() == 0 || Entries() > kMaxProgramHeaders ||
        EntryBytes() < (wide_ ? kElf64ProgramHeader : kElf32ProgramHeader))
        return false;
    stage_ = Stage::kProgramHeaders;
    return Queue(TableOffset(), EntryBytes() * Entries());
}

bool ProgrammerImage::ReadSegments() {
    stage_ = Stage::kData;
    for (std::uint64_t i = 0; i < Entries(); ++i) {
        const std::uint64_t at = TableOffset() + i * EntryBytes();
        const std::uint64_t offset = wide_ ? Word(at + 8, 8) : Word(at + 4, 4);
        const std::uint64_t size = wide_ ? Word(at + 32, 8) : Word(at + 16, 4);
        if (size > 0 && !Queue(offset, size))
            return false;
    }
    return true;
}

std::optional<ProgrammerImage::Request> ProgrammerImage::Received(
    std::span<const std::uint8_t> bytes) {
    if (bytes.size() != current_.length || !Place(current_.offset, bytes))
        return std::nullopt;
    // Once a stage's reads are done, the next stage says what to read.
    while (queue_.empty()) {
        bool readable = false;
        switch (stage_) {
            case Stage::kStart:
                readable = ReadHeader();
                break;
            case Stage::kElfHeader:
                readable = ReadProgramHeaders();
                break;
            case Stage::kProgramHeaders:
                readable = ReadSegments();
                break;
            case Stage::kData:
                accepted_ = true;
                return std::nullopt;
        }
        if (!readable)
            return std::nullopt;
    }
    current_ = queue_.front();
    queue_.erase(queue_.begin());
    return current_;
}

}  // namespace sim
