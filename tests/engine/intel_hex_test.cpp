// The Intel HEX converter: only 16-byte records reach the output, in file order; the image area
// size; the end record; malformed records and digits.
#include <gtest/gtest.h>

#include "engine/intel_hex.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

// A data record of `count` bytes (first byte `first`, then counting up) at `address`. The
// checksum is not verified, so it is left as 00.
std::string Record(unsigned count, unsigned address, unsigned first = 0, const char* type = "00") {
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%s", count, address, type);
    std::string record = head;
    for (unsigned i = 0; i < count; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", (first + i) & 0xFF);
        record += pair;
    }
    return record + "00\n";
}

std::string Bytes(unsigned count, unsigned first) {
    std::string bytes;
    for (unsigned i = 0; i < count; ++i)
        bytes += static_cast<char>((first + i) & 0xFF);
    return bytes;
}

const std::string kEnd = ":00000001FF\n";

struct Converted {
    int result;
    std::string binary;
};

Converted Convert(const std::string& text) {
    Converted converted;
    converted.result = ConvertHexText(text, converted.binary);
    return converted;
}

TEST(IntelHex, ConvertsTheRecordsOfAProgrammer) {
    struct Case {
        const char* name;
        std::string text;
        int result;
        std::string binary;
    };
    const std::string three = Record(16, 0x00, 0) + Record(16, 0x10, 16) + Record(16, 0x20, 32);
    std::string crlf = three + kEnd;
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
        crlf.insert(at, "\r");
    const Case cases[] = {
        {"three full records", three + kEnd, 48, Bytes(48, 0)},
        {"CR LF line ends", crlf, 48, Bytes(48, 0)},
        {"no line ends", Record(16, 0, 0).substr(0, 43) + Record(16, 0x10, 16) + kEnd, 32,
         Bytes(32, 0)},
        {"a short last record is not written",
         Record(16, 0x00, 0) + Record(16, 0x10, 16) + Record(8, 0x20, 32) + kEnd, 40, Bytes(32, 0)},
        {"records after the end record are ignored", three + kEnd + Record(16, 0x30, 48), 48,
         Bytes(48, 0)},
        {"file order, not address order", Record(16, 0x10, 16) + Record(16, 0x00, 0) + kEnd, 32,
         Bytes(16, 16) + Bytes(16, 0)},
        {"extended address records have no effect", ":020000040000FA\n" + three + kEnd, 50,
         Bytes(48, 0)},
        {"lower-case digits", ":10000000aabbccddeeff00112233445566778899aa00\n" + kEnd, 16,
         "\xaa\xbb\xcc\xdd\xee\xff" + std::string(1, '\0') +
             "\x11\x22\x33\x44\x55\x66\x77\x88\x99"},
        // The area is the larger of highest address + its count and the sum of all counts.
        {"area from the highest address", Record(16, 0x1000, 0) + Record(2, 0x2000, 0) + kEnd,
         0x2002, Bytes(16, 0)},
        {"on equal addresses the later record counts",
         Record(16, 0x100, 0) + Record(2, 0x100, 0) + kEnd, 0x102, Bytes(16, 0)},
        {"only an end record", kEnd, 0, ""},
        {"a record cut short by the end record", Record(16, 0, 0).substr(0, 20) + kEnd, 0, ""},
    };
    for (const Case& c : cases) {
        const Converted converted = Convert(c.text);
        EXPECT_EQ(converted.result, c.result) << c.name;
        EXPECT_EQ(converted.binary, c.binary) << c.name;
    }
}

TEST(IntelHex, MalformedDigitPairsLeaveTheirValueAsItWas) {
    // A bad data pair keeps what the area held: 0xFF at first, an earlier record's byte later.
    const std::string bad_data = ":10000000GG0102030405060708090A0B0C0D0E0F00\n";
    EXPECT_EQ(Convert(bad_data + kEnd).binary, "\xFF" + Bytes(15, 1));
    EXPECT_EQ(Convert(Record(16, 0, 0x40) + bad_data + kEnd).binary,
              Bytes(16, 0x40) + "\x40" + Bytes(15, 1));
    // A bad byte count keeps the previous record's count (16), so this record is copied too.
    const std::string bad_count = ":ZZ001000" + std::string(32, '1') + "00\n";
    const Converted converted = Convert(Record(16, 0, 0) + bad_count + kEnd);
    EXPECT_EQ(converted.binary, Bytes(16, 0) + std::string(16, '\x11'));
    EXPECT_EQ(converted.result, 32);
}

TEST(IntelHex, TheEndRecordMustComeBeforeAnyNul) {
    EXPECT_EQ(Convert(Record(16, 0, 0)).result, kHexNoEndRecord);
    EXPECT_EQ(Convert(Record(16, 0, 0) + std::string(1, '\0') + kEnd).result, kHexNoEndRecord);
    EXPECT_EQ(Convert(Record(16, 0, 0) + kEnd + std::string(1, '\0')).result, 16);
}

TEST(IntelHex, LayoutFollowsTheAddressRecords) {
    // As binutils writes a 100-byte image for 0x2A000000: an extended linear address, full
    // records, a short last one and a start address.
    const std::string made = ":020000042A00D0\n" + Record(16, 0, 0) + Record(16, 0x10, 16) +
                             Record(4, 0x20, 32) + ":040000052A000010CD\n" + kEnd;
    std::optional<HexLayout> layout = ReadHexLayout(made);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->load_address, 0x2A000000u);
    EXPECT_EQ(layout->data_bytes, 36u);
    EXPECT_TRUE(layout->contiguous);
    EXPECT_EQ(layout->entry, 0x2A000010u);

    // A 64 KiB boundary crossed with a new linear address continues the data.
    layout = ReadHexLayout(":020000040001F9\n" + Record(16, 0xFFF0, 0) + ":020000040002F8\n" +
                           Record(16, 0x0000, 16) + kEnd);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->load_address, 0x1FFF0u);
    EXPECT_TRUE(layout->contiguous);
    EXPECT_FALSE(layout->entry);

    // Segment addresses count in 16-byte paragraphs; their start record is CS:IP.
    layout =
        ReadHexLayout(":020000021000EC\n" + Record(16, 0x0004, 0) + ":0400000310000020C9\n" + kEnd);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->load_address, 0x10004u);
    EXPECT_EQ(layout->entry, 0x10020u);

    layout = ReadHexLayout(Record(16, 0, 0) + Record(16, 0x20, 0) + kEnd);
    ASSERT_TRUE(layout);
    EXPECT_FALSE(layout->contiguous);
    EXPECT_FALSE(ReadHexLayout(":020000042A00D0\n" + kEnd));
    EXPECT_FALSE(ReadHexLayout(Record(16, 0, 0)));
}

TEST(IntelHex, FilesInAndOut) {
    TempDir dir;
    const std::string hex = dir.File("MPRG8X25.hex");
    const std::string bin = dir.File("MPRG8X25.bin");
    WriteFile(hex, Record(16, 0, 0) + Record(16, 0x10, 16) + kEnd);
    EXPECT_EQ(ConvertHexFile(hex, bin), 32);
    EXPECT_EQ(ReadFile(bin), Bytes(32, 0));

    // Without an end record the output is still made, empty, replacing what was there.
    WriteFile(hex, Record(16, 0, 0));
    EXPECT_EQ(ConvertHexFile(hex, bin), kHexNoEndRecord);
    EXPECT_EQ(ReadFile(bin), "");

    EXPECT_EQ(ConvertHexFile(dir.File("missing.hex"), bin), kHexCannotOpen);
    EXPECT_EQ(ConvertHexFile(hex, dir.File("no/such/folder/out.bin")), kHexCannotOpen);
}

}  // namespace
}  // namespace fendrel::testing
