// Numbers of the built-in texts, named after what they say. The texts themselves are in
// string_table.cpp; every lookup goes through GetText so that a site override applies.
#pragma once

namespace fendrel::text {

inline constexpr int kDocumentTemplate = 128;  // "QUEX\n\nQUEX\n\n\nQUEX.Document\nQUEX Document"
inline constexpr int kProductName = 129;       // "Fendrel"
inline constexpr int kProductVersion = 130;    // "V1.0"
inline constexpr int kSingleDownloadButton = 131;   // "Single-Download"
inline constexpr int kAppImageBox = 133;            // "App image:"
inline constexpr int kBootImageBox = 134;           // "Boot image:"
inline constexpr int kBrowse = 135;                 // "Browse..."
inline constexpr int kEraseEfsGroup = 137;          // "Erase EFS"
inline constexpr int kBackupRestoreGroup = 140;     // "Backup/Restore"
inline constexpr int kEsn = 141;                    // "ESN"
inline constexpr int kRf = 144;                     // "RF"
inline constexpr int kStartAll = 145;               // "Start all"
inline constexpr int kStart = 146;                  // "Start"
inline constexpr int kStop = 147;                   // "Stop"
inline constexpr int kColumnOperate = 148;          // "Operate"
inline constexpr int kColumnPort = 149;             // "Port"
inline constexpr int kColumnProgress = 150;         // "Progress"
inline constexpr int kColumnStatus = 151;           // "Status"
inline constexpr int kColumnProduct = 152;          // "Product"
inline constexpr int kColumnVersion = 153;          // "VER"
inline constexpr int kDetectingPhone = 155;         // "Detecting phone..."
inline constexpr int kUnknown = 156;                // "Unknown"
inline constexpr int kBaudRateGroup = 158;          // "BaudRate"
inline constexpr int kCanNotOpenPort = 159;         // "Can not open port!"
inline constexpr int kChangeToOfflineFail = 160;    // "Change to offline mode fail!"
inline constexpr int kSwitchToDownloadFail = 161;   // "Switch to download mode fail!"
inline constexpr int kChangingToOffline = 162;      // "Change to offline mode..."
inline constexpr int kSwitchingToDownload = 163;    // "Switch to download..."
inline constexpr int kDownloadRam = 164;            // "Download ram(0x%x/0x%x)..."
inline constexpr int kDownloadRamFail = 165;        // "Download ram fail!(0x%x/0x%x)"
inline constexpr int kErasingBoot = 166;            // "Erasing boot(0x%x/0x%x)..."
inline constexpr int kEraseBootFail = 167;          // "Erase boot fail!(0x%x/0x%x)"
inline constexpr int kDownloadingBoot = 168;        // "Downloading boot(0x%x/0x%x)..."
inline constexpr int kDownloadBootFail = 169;       // "Download boot fail!(0x%x/0x%x)"
inline constexpr int kErasingEfs = 170;             // "Erasing EFS(0x%x/0x%x)..."
inline constexpr int kEraseEfsFail = 171;           // "Erase EFS fail!(0x%x/0x%x)"
inline constexpr int kErasingApp = 172;             // "Erasing app(0x%x/0x%x)..."
inline constexpr int kEraseAppFail = 173;           // "Erase app fail!(0x%x/0x%x)"
inline constexpr int kDownloadApp = 174;            // "Download app(0x%x/0x%x)..."
inline constexpr int kDownloadAppFail = 175;        // "Download app fail!(0x%x/0x%x)"
inline constexpr int kDownloadFail = 176;           // "Download fail!"
inline constexpr int kCanNotFindRamFile = 177;      // "Can not find ram file!"
inline constexpr int kCanNotFindBootFile = 178;     // "Can not find boot file!"
inline constexpr int kCanNotFindAppFile = 179;      // "Can not find app file!"
inline constexpr int kSetBbinfoFail = 181;          // "Set BBINFO fail!"
inline constexpr int kErasingChecksum = 182;        // "Erasing checksum(0x%x/0x%x)..."
inline constexpr int kEraseChecksumFail = 183;      // "Erase checksum fail!"
inline constexpr int kWritingChecksum = 184;        // "Writing checksum..."
inline constexpr int kWriteChecksumFail = 185;      // "Write checksum fail!"
inline constexpr int kWaitPhoneRestart = 186;       // "Wait the phone to restart..."
inline constexpr int kRestartPhoneFail = 187;       // "Restart phone fail!"
inline constexpr int kDownloadSuccessfully = 189;   // "Download successfully!"
inline constexpr int kDownloadingModule = 190;      // "Downloading modul(0x%x/0x%x)..."
inline constexpr int kDownloadModuleFail = 191;     // "Download modul fail!(0x%x/0x%x)"
inline constexpr int kRunningRam = 192;             // "Running ram..."
inline constexpr int kBackuppingNv = 193;           // "Backupping NV(%s)..."
inline constexpr int kRefreshPort = 202;            // "Refresh port"
inline constexpr int kImagesNotMatch = 205;         // "App image and boot image not match!"
inline constexpr int kDownloadFileBroken = 206;     // "The download file is broken!"
inline constexpr int kBootVerifyVersionFail = 207;  // "Boot verify version fail!"
// "The config file is broken,please reinstall software!"
inline constexpr int kConfigFileBroken = 209;
inline constexpr int kConfirmExit = 210;           // "Are you sure to exit?"
inline constexpr int kAlreadyRunning = 212;        // "The software is running!"
inline constexpr int kSelectAppFile = 213;         // "Please select a app file to download!"
inline constexpr int kSelectBootFile = 214;        // "Please select a boot file to download!"
inline constexpr int kBackupNvFail = 215;          // "Backup NV(%s) fail!"
inline constexpr int kMultiDownloadButton = 217;   // "Multi-Download"
inline constexpr int kNoPartitionTableFile = 218;  // "Can not find partition table file!"
inline constexpr int kNoPriBootLoaderFile = 219;   // "Can not find Pri Boot Loader file!"
inline constexpr int kNoQcsBootLoaderFile = 220;   // "Can not find Qcs Boot Loader file!"
inline constexpr int kNoQcsHeaderFile = 221;       // "Can not find Qcs header file!"
inline constexpr int kNoOemBootLoaderFile = 222;   // "Can not find Oem Boot Loader file!"
inline constexpr int kNoOemHeaderFile = 223;       // "Can not find Oem header file!"
inline constexpr int kNoAmssFile = 224;            // "Can not find Amss file!"
inline constexpr int kNoAmssHeaderFile = 225;      // "Can not find Amss header file!"
// "Downloading Partition Table file(0x%x/0x%x)..."
inline constexpr int kDownloadingPartitionTable = 226;
// "Downloading Pri Boot loader file(0x%x/0x%x)..."
inline constexpr int kDownloadingPriBootLoader = 227;
// "Downloading Qcs Boot Loader file(0x%x/0x%x)..."
inline constexpr int kDownloadingQcsBootLoader = 228;
inline constexpr int kDownloadingQcsHeader = 229;  // "Downloading Qcs header file..."
// "Downloading Oem Boot Loader file(0x%x/0x%x)..."
inline constexpr int kDownloadingOemBootLoader = 230;
inline constexpr int kDownloadingOemHeader = 231;   // "Downloading Oem header file..."
inline constexpr int kDownloadingAmss = 232;        // "Downloading Amss file(0x%x/0x%x)..."
inline constexpr int kDownloadingAmssHeader = 233;  // "Downloading Amss header file..."
// "Download Partition Table file fail(0x%x/0x%x)!"
inline constexpr int kDownloadPartitionTableFail = 234;
// "Download Pri Boot loader file fail(0x%x/0x%x)!"
inline constexpr int kDownloadPriBootLoaderFail = 235;
// "Download Qcs Boot Loader file fail(0x%x/0x%x)!"
inline constexpr int kDownloadQcsBootLoaderFail = 236;
inline constexpr int kDownloadQcsHeaderFail = 237;  // "Download Qcs header file fail!"
// "Download Oem Boot Loader file fail(0x%x/0x%x)!"
inline constexpr int kDownloadOemBootLoaderFail = 238;
inline constexpr int kDownloadOemHeaderFail = 239;   // "Download Oem header file fail!"
inline constexpr int kDownloadAmssFail = 240;        // "Download Amss file fail(0x%x/0x%x)!"
inline constexpr int kDownloadAmssHeaderFail = 241;  // "Download Amss header file fail!"
inline constexpr int kFilePath = 242;                // "File Path:"
inline constexpr int kUpgrading = 1106;              // "Upgrading"
// "before upgrade,the software of the phone is:"
inline constexpr int kSoftwareBeforeUpgrade = 1116;
// "more than one device,pls make sure only connect kesto phone"
inline constexpr int kMoreThanOneDevice = 1118;
// The raw-disk route's own texts.
inline constexpr int kNoPhoneDisk = 1130;  // "Can not find the phone's disk!"
// "The phone's disk can not be written: %s" (the reason)
inline constexpr int kPhoneDiskNotWritable = 1131;
inline constexpr int kCanNotOpenTheFile = 1132;   // "can't open the file"
inline constexpr int kCanNotStartUpgrade = 1133;  // "Can not start the upgrade!"
inline constexpr int kUpgradeFail = 1134;         // "Upgrade fail!(exit status %d)"
inline constexpr int kUpgradeTimeOut = 1135;      // "Upgrade time out!"
inline constexpr int kUpgradeStopped = 1136;      // "Upgrade stopped!"

// Texts this station added to the table take numbers from 2001 up, clear of the ranges above.
// "No NV backup in download mode: the phone cannot answer NV reads there"
inline constexpr int kNoNvBackupInDownloadMode = 2001;

}  // namespace fendrel::text
