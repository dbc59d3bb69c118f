// The byte-packed records the command channels exchange with their callers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fendrel {

#pragma pack(push, 1)

// One NV item as read from the phone: the item number and its 128-byte payload.
struct NV_S_TYPE {
    std::uint8_t command;    // set by the channel, not by the caller
    std::uint16_t item;      // NV item number
    std::uint8_t data[128];  // raw item payload
    std::uint16_t status;    // the phone's NV status; 0 = done
};

// The phone status record of the DIAG status command.
struct STATUS_S_TYPE {
    std::uint8_t head[4];
    std::uint32_t esn;  // electronic serial number
    std::uint8_t middle[24];
    std::uint16_t mode;  // the phone's mode word; 2 or 6 = offline
    std::uint8_t tail[14];
};

// What the phone's boot loader reports of its boot block.
struct BBINFO_S_TYPE {
    std::uint32_t boot_block;  // above 0x10000000: a boot block that knows its version
    std::uint8_t reserved[12];
};

#pragma pack(pop)

static_assert(sizeof(NV_S_TYPE) == 133);
static_assert(offsetof(NV_S_TYPE, item) == 1 && offsetof(NV_S_TYPE, data) == 3 &&
              offsetof(NV_S_TYPE, status) == 131);
static_assert(sizeof(STATUS_S_TYPE) == 48);
static_assert(offsetof(STATUS_S_TYPE, esn) == 4 && offsetof(STATUS_S_TYPE, mode) == 32);

// Modes of the DIAG mode-change command.
enum MODE_CHANGE_E_TYPE : std::uint16_t {
    MODE_CHANGE_OFFLINE_DIGITAL = 1,
    MODE_CHANGE_RESET = 2,
};

}  // namespace fendrel
