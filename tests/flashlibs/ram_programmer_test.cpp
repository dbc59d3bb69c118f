// Which RAM programmers a plugin uploads: only a HEX whose data the station's converter keeps
// whole; anything else is refused with "Can not find ram file!" (code 0) before the phone is
// touched.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/intel_hex.h"
#include "flashlibs/support/programmer_start.h"
#include "flashlibs/support/ram_programmer.h"
#include "tests/support/temp_dir.h"

namespace fendrel::flashlibs {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

// One Intel HEX record with its checksum.
std::string Record(int type, unsigned address, const std::vector<int>& data) {
    int sum = static_cast<int>(data.size()) + static_cast<int>(address >> 8) +
              static_cast<int>(address & 0xFF) + type;
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  address & 0xFFFF, type);
    std::string line = text;
    for (const int byte : data) {
        std::snprintf(text, sizeof text, "%02X", byte);
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

std::vector<int> Bytes(int count, int first) {
    std::vector<int> bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back((first + i) & 0xFF);
    return bytes;
}

// At 0x00100000: two full records, and a third of `last_bytes` (none for 0).
std::string Programmer(int last_bytes, bool end_record = true) {
    std::string hex = Record(4, 0, {0x00, 0x10});
    hex += Record(0, 0x0000, Bytes(16, 0)) + Record(0, 0x0010, Bytes(16, 16));
    if (last_bytes > 0)
        hex += Record(0, 0x0020, Bytes(last_bytes, 32));
    return end_record ? hex + Record(1, 0, {}) : hex;
}

TEST(RamProgrammer, OnlyAHexTheConverterKeepsWholeIsUploaded) {
    const struct {
        const char* name;
        std::string hex;
        bool with_bin;  // the page's conversion beside it
        bool loads;
    } cases[] = {
        {"full records", Programmer(16), false, true},
        {"full records beside their binary", Programmer(16), true, true},
        {"a short last record", Programmer(8), false, false},
        {"a short last record beside the binary", Programmer(8), true, false},
        {"a gap",
         Record(0, 0x0000, Bytes(16, 0)) + Record(0, 0x0020, Bytes(16, 0)) + Record(1, 0, {}),
         false, false},
        {"no end record", Programmer(16, /*end_record=*/false), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string hex = dir.File("MPRG7627A.hex");
        WriteFile(hex, c.hex);
        ImageSet set{ImageSetKind::kNandMultiImage, dir.path(), hex, hex};
        if (c.with_bin) {
            set.programmer = dir.File("MPRG7627A.bin");
            ASSERT_GE(ConvertHexFile(hex, set.programmer), 0);
        }

        std::string error;
        const std::optional<RamProgrammer> loaded = LoadRamProgrammer(set, error);
        ASSERT_EQ(loaded.has_value(), c.loads) << error;
        if (loaded) {
            EXPECT_EQ(loaded->load_address, 0x00100000u);
            EXPECT_EQ(loaded->image.size(), 48u);
            continue;
        }
        // The plugin says so with code 0 and never reaches the port (there is none).
        std::vector<int> codes;
        const FendrelReportFunction record = [](int code, int, int, int, void* context) {
            static_cast<std::vector<int>*>(context)->push_back(code);
        };
        PluginCall call;
        call.report = Reporter(record, &codes);
        ProgressReports progress(call.report, {});
        EXPECT_FALSE(StartRamProgrammer(call, set, progress));
        EXPECT_EQ(codes, std::vector<int>{kNoProgrammer});
    }
}

}  // namespace
}  // namespace fendrel::flashlibs
