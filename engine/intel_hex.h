// Intel HEX programmer images to flat binary files.
//
// Some phones' RAM programmers ship as Intel HEX text (MPRG8X25.hex); the download needs the flat
// binary. The converter understands 16-bit record addresses only and copies only full 16-byte
// data records: the output is the data of every record with a byte count of 16, in file order.
// Record types are not interpreted and checksums not verified; extended-address and start
// records, and shorter data records, are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fendrel {

// The text that ends the records; it must be present, and nothing from it on takes part.
inline constexpr std::string_view kHexEndRecord = ":00000001";

inline constexpr int kHexCannotOpen = -1;   // the input cannot be read, or the output written
inline constexpr int kHexNoEndRecord = -2;  // the input holds no ":00000001"

// The binary form of the HEX text `text` (read up to its first NUL). Returns the image area size
// (the larger of the highest record address plus that record's byte count, and the sum of all
// byte counts; at least the output's length) and fills `binary`, or kHexNoEndRecord.
int ConvertHexText(std::string_view text, std::string& binary);

// The longest HEX file read. A programmer for the 16-bit address space takes under 200 KB of HEX
// text; the bound leaves room for many times that and keeps the text and the image area (at most
// half the text's length) well within memory.
inline constexpr std::size_t kMaxHexFileSize = 64 * 1024 * 1024;

// Converts the file at `input_path` into `output_path` (replaced as a whole, or created; for a
// text without end record an empty file). Returns ConvertHexText's result, or kHexCannotOpen
// with `error` (when given) naming the file that could not be read or written and why.
int ConvertHexFile(const std::string& input_path, const std::string& output_path,
                   std::string* error = nullptr);

// Where the data of a HEX text lies in the 32-bit address space, for loading its binary: the
// records read as the converter reads them, up to the end record, with their types interpreted
// (extended linear and extended segment address records move the records after them; start
// address records give the entry point).
struct HexLayout {
    std::uint32_t load_address = 0;  // of the first data record's first byte
    std::size_t data_bytes = 0;      // of every data record, whatever its length
    // Every data record starts where the one before it ended, so the data is one block from the
    // load address on.
    bool contiguous = true;
    std::optional<std::uint32_t> entry;  // a start address record's
};

// None when the text has no end record or no data record.
std::optional<HexLayout> ReadHexLayout(std::string_view text);

}  // namespace fendrel
