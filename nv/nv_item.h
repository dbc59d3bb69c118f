// NV items as the store holds them and as the definition file describes them.
//
// A handset keeps its identity and calibration as numbered NV items, each a 16-bit item number
// and a 128-byte payload on the diagnostic link. The store keeps the payload as raw bytes; the
// definitions say which items exist, what they are called and which fields they hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fendrel {

inline constexpr std::size_t kNvItemDataSize = 128;

using NvItemData = std::array<std::uint8_t, kNvItemDataSize>;

struct NvItem {
    std::uint16_t id = 0;
    NvItemData data{};  // never interpreted by the store
};

enum class NvAccess : std::int32_t {
    kRead = 0,
    kWrite = 1,
    kReadWrite = 2,
};

// The type of one field of an item's payload; the comment gives the field's width.
enum class NvFieldType : std::int32_t {
    kByte = 0,         // 1 byte, unsigned
    kSignedByte = 1,   // 1 byte, signed
    kWord = 2,         // 2 bytes, unsigned
    kSignedWord = 3,   // 2 bytes, signed
    kDword = 4,        // 4 bytes
    kSignedDword = 5,  // 4 bytes, signed
};

struct NvItemDefinition {
    std::uint16_t id = 0;
    NvAccess access = NvAccess::kRead;
    std::vector<NvFieldType> field_types;
    std::vector<std::string> field_labels;  // one per field type, in the same order

    friend bool operator==(const NvItemDefinition&, const NvItemDefinition&) = default;
};

}  // namespace fendrel
