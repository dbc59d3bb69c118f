#include "engine/intel_hex.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace fendrel {
namespace {

constexpr std::size_t kRecordHeaderLength = 9;  // ':', count (2), address (4), type (2)
constexpr std::size_t kChecksumDigits = 2;
constexpr unsigned kCopiedRecordLength = 16;

// Record types.
constexpr unsigned kDataRecord = 0x00;
constexpr unsigned kSegmentAddressRecord = 0x02;  // base = value x 16
constexpr unsigned kSegmentStartRecord = 0x03;    // entry = CS x 16 + IP
constexpr unsigned kLinearAddressRecord = 0x04;   // base = value << 16
constexpr unsigned kLinearStartRecord = 0x05;     // entry = value

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return table;
}
constexpr std::array<std::int8_t, 256> kDigits = MakeDigitTable();

// A pair of hex digits at `p` sets `value`; a pair with any other character leaves it as it was.
template <typename T>
void ReadPair(const char* p, T& value) {
    const int high = kDigits[static_cast<unsigned char>(p[0])];
    const int low = kDigits[static_cast<unsigned char>(p[1])];
    if (high >= 0 && low >= 0)
        value = static_cast<T>(high * 16 + low);
}

// Walks the records of `text`: a record starts at any ':' and runs over its byte count's worth
// of data digits and the checksum; everything else is skipped a character at a time. A record
// that would run past the end of the text is incomplete and ends the walk. The byte count and
// address keep their previous values across records where a digit pair is malformed, so one
// walker is used per pass.
class RecordWalker {
  public:
    explicit RecordWalker(std::string_view text) : text_(text) {}

    // Moves to the next complete record; false when there is none.
    bool Next() {
        while (position_ < text_.size() && text_[position_] != ':')
            ++position_;
        if (text_.size() - position_ < kRecordHeaderLength)
            return false;
        const char* p = text_.data() + position_;
        ReadPair(p + 1, count_);
        ReadPair(p + 3, address_high_);
        ReadPair(p + 5, address_low_);
        ReadPair(p + 7, type_);
        const std::size_t length = kRecordHeaderLength + 2 * std::size_t{count_} + kChecksumDigits;
        if (text_.size() - position_ < length)
            return false;
        data_ = p + kRecordHeaderLength;
        position_ += length;
        return true;
    }

    unsigned count() const { return count_; }
    unsigned address() const { return unsigned{address_high_} << 8 | address_low_; }
    unsigned type() const { return type_; }
    // The record's data read as one big-endian number (the first four bytes at most).
    std::uint32_t value() const {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < std::min(count(), 4u); ++i) {
            std::uint8_t byte = 0;
            ReadPair(data_ + 2 * i, byte);
            value = value << 8 | byte;
        }
        return value;
    }
    // The record's data digits (2 x count()).
    const char* data() const { return data_; }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::uint8_t count_ = 0;
    std::uint8_t address_high_ = 0;
    std::uint8_t address_low_ = 0;
    std::uint8_t type_ = 0;
    const char* data_ = nullptr;
};

// The records' part of `text`: up to its first NUL, then up to the end record; none without one.
std::optional<std::string_view> RecordsOf(std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    const std::size_t end = text.find(kHexEndRecord);
    if (end == std::string_view::npos)
        return std::nullopt;
    return text.substr(0, end);
}

}  // namespace

int ConvertHexText(std::string_view whole, std::string& binary) {
    binary.clear();
    const std::optional<std::string_view> records = RecordsOf(whole);
    if (!records)
        return kHexNoEndRecord;
    const std::string_view text = *records;

    // First pass: the highest address with its record's byte count, and the sum of all counts.
    unsigned highest = 0;
    unsigned highest_count = 0;
    std::size_t total = 0;
    std::size_t copied_records = 0;
    // The area must also hold every copied record: with overlapping records the highest address
    // can lie inside a 16-byte record that reaches further.
    std::size_t area_needed = 0;
    RecordWalker first(text);
    while (first.Next()) {
        if (first.address() >= highest) {
            highest = first.address();
            highest_count = first.count();
        }
        total += first.count();
        if (first.count() == kCopiedRecordLength) {
            ++copied_records;
            area_needed = std::max<std::size_t>(area_needed, first.address() + kCopiedRecordLength);
        }
    }
    const std::size_t area_size = std::max<std::size_t>(highest + highest_count, total);

    // Second pass: each 16-byte record's data into the area at its address, then to the output.
    std::vector<std::uint8_t> area(std::max(area_size, area_needed), 0xFF);
    binary.reserve(copied_records * kCopiedRecordLength);
    RecordWalker second(text);
    while (second.Next()) {
        if (second.count() != kCopiedRecordLength)
            continue;
        std::uint8_t* bytes = area.data() + second.address();
        for (unsigned i = 0; i < kCopiedRecordLength; ++i)
            ReadPair(second.data() + 2 * i, bytes[i]);
        binary.append(reinterpret_cast<const char*>(bytes), kCopiedRecordLength);
    }
    return static_cast<int>(std::min<std::size_t>(area_size, INT32_MAX));
}

std::optional<HexLayout> ReadHexLayout(std::string_view whole) {
    const std::optional<std::string_view> records = RecordsOf(whole);
    if (!records)
        return std::nullopt;
    HexLayout layout;
    bool any_data = false;
    std::uint32_t base = 0;
    std::uint64_t next = 0;  // where a following record continues the data
    RecordWalker walker(*records);
    while (walker.Next()) {
        switch (walker.type()) {
            case kDataRecord: {
                const std::uint32_t address = base + walker.address();
                if (!any_data)
                    layout.load_address = address;
                else if (address != next)
                    layout.contiguous = false;
                any_data = true;
                next = std::uint64_t{address} + walker.count();
                layout.data_bytes += walker.count();
                break;
            }
            case kSegmentAddressRecord:
                base = walker.value() << 4;
                break;
            case kLinearAddressRecord:
                base = walker.value() << 16;
                break;
            case kSegmentStartRecord:
                layout.entry = (walker.value() >> 16 << 4) + (walker.value() & 0xFFFF);
                break;
            case kLinearStartRecord:
                layout.entry = walker.value();
                break;
            default:
                break;
        }
    }
    if (!any_data)
        return std::nullopt;
    return layout;
}

int ConvertHexFile(const std::string& input_path, const std::string& output_path,
                   std::string* error) {
    const std::optional<std::string> text =
        platform::ReadFileBytes(input_path, kMaxHexFileSize, error);
    if (!text)
        return kHexCannotOpen;
    std::string binary;
    const int result = ConvertHexText(*text, binary);
    // The binary is made again from its source before every use: it must never stand half
    // written under its name, but need not survive a power cut.
    if (!platform::WriteFileAtomically(output_path, binary, error,
                                       platform::Durability::kInFileCache))
        return kHexCannotOpen;
    return result;
}

}  // namespace fendrel
