#include "app/ini_file.h"

#include <gtest/gtest.h>

#include "app/file_code.h"
#include "tests/support/temp_dir.h"

namespace fendrel {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(CIniFile, ReadsKeysAndDefaults) {
    TempDir dir;
    WriteFile(dir.File("config.ini"),
              "[INTERFACE]\nPAGES=2\nAPPCHECK=x\n[FUNCTION]\nAPPFILE=a b\n");
    const CIniFile ini(dir.File("config.ini"));
    EXPECT_EQ(ini.GetInt(config::kPages), 2);
    EXPECT_EQ(ini.GetInt(config::kAppCheck), 0);   // not a number
    EXPECT_EQ(ini.GetInt(config::kBootCheck), 1);  // missing: the table's default
    EXPECT_EQ(ini.GetString(config::kAppFile), "a b");
    EXPECT_EQ(ini.GetString(config::kBootFile), "");
    EXPECT_EQ(ini.GetString("FUNCTION", "NONE", "fallback"), "fallback");
}

TEST(CIniFile, LongValueIsCutTo1023Characters) {
    TempDir dir;
    const std::string value(3000, 'v');
    WriteFile(dir.File("config.ini"), "[FUNCTION]\nAPPFILE=" + value + "\n");
    EXPECT_EQ(CIniFile(dir.File("config.ini")).GetString(config::kAppFile), value.substr(0, 1023));
}

TEST(CIniFile, MissingFileGivesDefaults) {
    const CIniFile ini("/nonexistent/config.ini");
    EXPECT_EQ(ini.GetInt(config::kAppSelect), 1);
    EXPECT_EQ(ini.GetString(config::kAppFile), "");
}

TEST(ConfigKeys, NumberedKeys) {
    EXPECT_EQ(config::NumberedKey(config::kUsbHwidFormat, 2), "IsUSBHWID2");
    EXPECT_EQ(config::NumberedKey(config::kNotSupportPortHwidFormat, 10), "IsNotSupportPortHWID10");
}

// The config.ini shipped beside the programs is stamped and holds every key at its default.
TEST(ShippedConfig, IsStampedAndHoldsEveryKeyAtItsDefault) {
    const std::string path = FENDREL_SHIPPED_CONFIG;
    ASSERT_TRUE(CheckConfigFile(path)) << path;
    const CIniFile ini(path);
    for (const config::IntKey& key : config::kIntKeys) {
        EXPECT_EQ(ini.GetInt(key.section, key.name, key.default_value + 1000), key.default_value)
            << key.name;
    }
    EXPECT_EQ(ini.GetString(config::kAppFile.section, config::kAppFile.name, "missing"), "");
    EXPECT_EQ(ini.GetString(config::kBootFile.section, config::kBootFile.name, "missing"), "");
}

}  // namespace
}  // namespace fendrel
