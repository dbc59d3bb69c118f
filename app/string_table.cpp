#include "app/string_table.h"

#include <algorithm>
#include <array>

namespace fendrel {
namespace {

struct StringTableEntry {
    int id;
    std::string_view text;
};

// Sorted by number; the texts are the product's own and are shown exactly as they stand.
constexpr std::array kStringTable = {
    StringTableEntry{128, "QUEX\n\nQUEX\n\n\nQUEX.Document\nQUEX Document"},
    StringTableEntry{129, "Fendrel"},
    StringTableEntry{130, "V1.0"},
    StringTableEntry{131, "Single-Download"},
    StringTableEntry{133, "App image:"},
    StringTableEntry{134, "Boot image:"},
    StringTableEntry{135, "Browse..."},
    StringTableEntry{137, "Erase EFS"},
    StringTableEntry{140, "Backup/Restore"},
    StringTableEntry{141, "ESN"},
    StringTableEntry{144, "RF"},
    StringTableEntry{145, "Start all"},
    StringTableEntry{146, "Start"},
    StringTableEntry{147, "Stop"},
    StringTableEntry{148, "Operate"},
    StringTableEntry{149, "Port"},
    StringTableEntry{150, "Progress"},
    StringTableEntry{151, "Status"},
    StringTableEntry{152, "Product"},
    StringTableEntry{153, "VER"},
    StringTableEntry{155, "Detecting phone..."},
    StringTableEntry{156, "Unknown"},
    StringTableEntry{158, "BaudRate"},
    StringTableEntry{159, "Can not open port!"},
    StringTableEntry{160, "Change to offline mode fail!"},
    StringTableEntry{161, "Switch to download mode fail!"},
    StringTableEntry{162, "Change to offline mode..."},
    StringTableEntry{163, "Switch to download..."},
    StringTableEntry{164, "Download ram(0x%x/0x%x)..."},
    StringTableEntry{165, "Download ram fail!(0x%x/0x%x)"},
    StringTableEntry{166, "Erasing boot(0x%x/0x%x)..."},
    StringTableEntry{167, "Erase boot fail!(0x%x/0x%x)"},
    StringTableEntry{168, "Downloading boot(0x%x/0x%x)..."},
    StringTableEntry{169, "Download boot fail!(0x%x/0x%x)"},
    StringTableEntry{170, "Erasing EFS(0x%x/0x%x)..."},
    StringTableEntry{171, "Erase EFS fail!(0x%x/0x%x)"},
    StringTableEntry{172, "Erasing app(0x%x/0x%x)..."},
    StringTableEntry{173, "Erase app fail!(0x%x/0x%x)"},
    StringTableEntry{174, "Download app(0x%x/0x%x)..."},
    StringTableEntry{175, "Download app fail!(0x%x/0x%x)"},
    StringTableEntry{176, "Download fail!"},
    StringTableEntry{177, "Can not find ram file!"},
    StringTableEntry{178, "Can not find boot file!"},
    StringTableEntry{179, "Can not find app file!"},
    StringTableEntry{181, "Set BBINFO fail!"},
    StringTableEntry{182, "Erasing checksum(0x%x/0x%x)..."},
    StringTableEntry{183, "Erase checksum fail!"},
    StringTableEntry{184, "Writing checksum..."},
    StringTableEntry{185, "Write checksum fail!"},
    StringTableEntry{186, "Wait the phone to restart..."},
    StringTableEntry{187, "Restart phone fail!"},
    StringTableEntry{189, "Download successfully!"},
    StringTableEntry{190, "Downloading modul(0x%x/0x%x)..."},
    StringTableEntry{191, "Download modul fail!(0x%x/0x%x)"},
    StringTableEntry{192, "Running ram..."},
    StringTableEntry{193, "Backupping NV(%s)..."},
    StringTableEntry{202, "Refresh port"},
    StringTableEntry{205, "App image and boot image not match!"},
    StringTableEntry{206, "The download file is broken!"},
    StringTableEntry{207, "Boot verify version fail!"},
    StringTableEntry{209, "The config file is broken,please reinstall software!"},
    StringTableEntry{210, "Are you sure to exit?"},
    StringTableEntry{212, "The software is running!"},
    StringTableEntry{213, "Please select a app file to download!"},
    StringTableEntry{214, "Please select a boot file to download!"},
    StringTableEntry{215, "Backup NV(%s) fail!"},
    StringTableEntry{217, "Multi-Download"},
    StringTableEntry{218, "Can not find partition table file!"},
    StringTableEntry{219, "Can not find Pri Boot Loader file!"},
    StringTableEntry{220, "Can not find Qcs Boot Loader file!"},
    StringTableEntry{221, "Can not find Qcs header file!"},
    StringTableEntry{222, "Can not find Oem Boot Loader file!"},
    StringTableEntry{223, "Can not find Oem header file!"},
    StringTableEntry{224, "Can not find Amss file!"},
    StringTableEntry{225, "Can not find Amss header file!"},
    StringTableEntry{226, "Downloading Partition Table file(0x%x/0x%x)..."},
    StringTableEntry{227, "Downloading Pri Boot loader file(0x%x/0x%x)..."},
    StringTableEntry{228, "Downloading Qcs Boot Loader file(0x%x/0x%x)..."},
    StringTableEntry{229, "Downloading Qcs header file..."},
    StringTableEntry{230, "Downloading Oem Boot Loader file(0x%x/0x%x)..."},
    StringTableEntry{231, "Downloading Oem header file..."},
    StringTableEntry{232, "Downloading Amss file(0x%x/0x%x)..."},
    StringTableEntry{233, "Downloading Amss header file..."},
    StringTableEntry{234, "Download Partition Table file fail(0x%x/0x%x)!"},
    StringTableEntry{235, "Download Pri Boot loader file fail(0x%x/0x%x)!"},
    StringTableEntry{236, "Download Qcs Boot Loader file fail(0x%x/0x%x)!"},
    StringTableEntry{237, "Download Qcs header file fail!"},
    StringTableEntry{238, "Download Oem Boot Loader file fail(0x%x/0x%x)!"},
    StringTableEntry{239, "Download Oem header file fail!"},
    StringTableEntry{240, "Download Amss file fail(0x%x/0x%x)!"},
    StringTableEntry{241, "Download Amss header file fail!"},
    StringTableEntry{242, "File Path:"},
    StringTableEntry{1106, "Upgrading"},
    StringTableEntry{1116, "before upgrade,the software of the phone is:"},
    StringTableEntry{1118, "more than one device,pls make sure only connect kesto phone"},
    StringTableEntry{1130, "Can not find the phone's disk!"},
    StringTableEntry{1131, "The phone's disk can not be written: %s"},
    StringTableEntry{1132, "can't open the file"},
    StringTableEntry{1133, "Can not start the upgrade!"},
    StringTableEntry{1134, "Upgrade fail!(exit status %d)"},
    StringTableEntry{1135, "Upgrade time out!"},
    StringTableEntry{1136, "Upgrade stopped!"},
    StringTableEntry{2001, "No NV backup in download mode: the phone cannot answer NV reads there"},
};

static_assert(std::is_sorted(kStringTable.begin(), kStringTable.end(),
                             [](const auto& a, const auto& b) { return a.id < b.id; }));

}  // namespace

std::string_view StringTableText(int id) {
    const auto* entry =
        std::lower_bound(kStringTable.begin(), kStringTable.end(), id,
                         [](const StringTableEntry& e, int key) { return e.id < key; });
    return entry != kStringTable.end() && entry->id == id ? entry->text : std::string_view();
}

}  // namespace fendrel
