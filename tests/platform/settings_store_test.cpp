#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::MakeFifo;
using fendrel::testing::ReadFile;
using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

constexpr std::string_view kFendrel = "SOFTWARE\\Fendrel";

class SettingsStoreTest : public ::testing::Test {
  protected:
    SettingsKey CreateAndOpen(std::string_view path) {
        std::string error;
        EXPECT_TRUE(store_.CreateKey(Hive::kLocalMachine, path, &error)) << error;
        auto key = store_.OpenKey(Hive::kLocalMachine, path, &error);
        EXPECT_TRUE(key.has_value()) << error;
        return key.value_or(SettingsKey(store_, Hive::kLocalMachine, std::string(path)));
    }

    TempDir dir_;
    // A folder that does not exist yet: the first created key makes it.
    SettingsStore store_{dir_.File("state/fendrel")};
};

TEST_F(SettingsStoreTest, KeysAreOpenedOnlyOnceCreated) {
    std::string error;
    EXPECT_FALSE(store_.OpenKey(Hive::kLocalMachine, kFendrel, &error).has_value());
    EXPECT_EQ(error, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel does not exist");
    EXPECT_FALSE(store_.ReadHive(Hive::kLocalMachine)->FindKey(kFendrel));

    ASSERT_TRUE(store_.CreateKey(Hive::kLocalMachine, kFendrel));
    ASSERT_TRUE(store_.CreateKey(Hive::kLocalMachine, "software\\FENDREL"));  // exists already
    const auto key = store_.OpenKey(Hive::kLocalMachine, "Software\\fendrel");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->path(), kFendrel);
    EXPECT_TRUE(store_.OpenKey(Hive::kLocalMachine, "SOFTWARE").has_value());
    // The other hive is another file.
    EXPECT_FALSE(store_.OpenKey(Hive::kCurrentUser, kFendrel).has_value());

    EXPECT_FALSE(store_.CreateKey(Hive::kLocalMachine, "SOFTWARE\\\\x", &error));
    EXPECT_FALSE(store_.OpenKey(Hive::kLocalMachine, "", &error).has_value());
}

TEST_F(SettingsStoreTest, ValuesAreTypedAndKeptInTheHiveFile) {
    SettingsKey key = CreateAndOpen(kFendrel);
    EXPECT_FALSE(key.QueryDword("iPass").has_value());
    EXPECT_NE(key.error().find("does not exist"), std::string::npos);

    ASSERT_TRUE(key.SetDword("iPass", 41));
    ASSERT_TRUE(key.SetString("sPath", "/images/v2/"));
    EXPECT_EQ(key.IncrementDword("IPASS"), 42u);
    EXPECT_EQ(key.IncrementDword("iFail"), 1u);  // a missing counter starts at 0
    EXPECT_EQ(key.QueryDword("ipass"), 42u);
    EXPECT_EQ(key.QueryString("sPath"), "/images/v2/");
    EXPECT_FALSE(key.QueryString("iPass").has_value());
    EXPECT_NE(key.error().find("is not a REG_SZ"), std::string::npos);
    EXPECT_FALSE(key.QueryDword("sPath").has_value());

    // A counter of the wrong type counts from 0 and becomes a REG_DWORD.
    ASSERT_TRUE(key.SetString("iFail", "x"));
    EXPECT_EQ(key.IncrementDword("iFail"), 1u);
    ASSERT_TRUE(key.SetDword("iFail", 0xFFFFFFFF));
    EXPECT_EQ(key.IncrementDword("iFail"), 0u);

    EXPECT_EQ(key.EnumValue(0)->name, "iPass");
    EXPECT_EQ(key.EnumValue(2)->name, "iFail");
    EXPECT_FALSE(key.EnumValue(3).has_value());
    EXPECT_FALSE(key.SetDword("bad\nname", 1));

    EXPECT_EQ(ReadFile(store_.HivePath(Hive::kLocalMachine)),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel]\r\n"
              "\"iPass\"=dword:0000002a\r\n"
              "\"sPath\"=\"/images/v2/\"\r\n"
              "\"iFail\"=dword:00000000\r\n\r\n");
}

TEST_F(SettingsStoreTest, AKeyRemovedFromTheFileFailsItsOpenedHandle) {
    SettingsKey key = CreateAndOpen(kFendrel);
    WriteFile(store_.HivePath(Hive::kLocalMachine), "Windows Registry Editor Version 5.00\r\n");
    EXPECT_FALSE(key.SetDword("iPass", 1));
    EXPECT_NE(key.error().find("no longer exists"), std::string::npos);
    EXPECT_FALSE(key.IncrementDword("iPass").has_value());
    EXPECT_EQ(ReadFile(store_.HivePath(Hive::kLocalMachine)),
              "Windows Registry Editor Version 5.00\r\n");
}

TEST_F(SettingsStoreTest, ACorruptHiveIsRefusedAndLeftAsItWas) {
    SettingsKey key = CreateAndOpen(kFendrel);
    ASSERT_TRUE(key.SetDword("iPass", 7));
    const std::string path = store_.HivePath(Hive::kLocalMachine);
    std::string corrupt = ReadFile(path);
    corrupt.replace(corrupt.find("dword:"), 6, "dwrd:");
    WriteFile(path, corrupt);

    std::string error;
    EXPECT_FALSE(store_.OpenKey(Hive::kLocalMachine, kFendrel, &error).has_value());
    EXPECT_EQ(error.rfind(path + ": line 6: ", 0), 0u) << error;
    EXPECT_FALSE(store_.CreateKey(Hive::kLocalMachine, "SOFTWARE\\Other", &error));
    EXPECT_FALSE(key.QueryDword("iPass").has_value());
    EXPECT_NE(key.error().find(path), std::string::npos);
    EXPECT_FALSE(key.SetDword("iPass", 8));
    EXPECT_FALSE(key.IncrementDword("iPass").has_value());
    EXPECT_EQ(ReadFile(path), corrupt);
    // The other hive is unaffected.
    EXPECT_TRUE(store_.CreateKey(Hive::kCurrentUser, "Software\\X"));
}

// A folder or a FIFO under the hive's name is an error that says what it is; the FIFO is not
// waited on, and neither is replaced.
TEST_F(SettingsStoreTest, AHiveThatIsNotAFileIsAnError) {
    const std::string hive = store_.HivePath(Hive::kLocalMachine);
    std::filesystem::create_directories(hive);
    std::string error;
    EXPECT_FALSE(store_.CreateKey(Hive::kLocalMachine, kFendrel, &error));
    EXPECT_NE(error.find(hive + " is a folder, not a regular file"), std::string::npos) << error;

    std::filesystem::remove(hive);
    MakeFifo(hive);
    EXPECT_FALSE(store_.CreateKey(Hive::kLocalMachine, kFendrel, &error));
    EXPECT_NE(error.find(hive + " is a FIFO, not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_fifo(hive));
}

// A hive kept elsewhere through a link: every change goes to that file and the link stays.
TEST_F(SettingsStoreTest, ALinkedHiveIsChangedWhereItLies) {
    const std::string kept = dir_.File("shared/hklm.reg");
    std::filesystem::create_directories(dir_.File("shared"));
    std::filesystem::create_directories(store_.directory());
    std::filesystem::create_symlink(kept, store_.HivePath(Hive::kLocalMachine));

    EXPECT_TRUE(CreateAndOpen(kFendrel).SetDword("iPass", 3));
    EXPECT_TRUE(std::filesystem::is_symlink(store_.HivePath(Hive::kLocalMachine)));
    EXPECT_NE(ReadFile(kept).find("\"iPass\"=dword:00000003"), std::string::npos);
    EXPECT_EQ(CreateAndOpen(kFendrel).QueryDword("iPass"), 3u);
}

TEST(SettingsStoreLocation, FollowsTheEnvironment) {
    const char* saved[] = {getenv("FENDREL_REGISTRY_DIR"), getenv("XDG_STATE_HOME"),
                           getenv("HOME")};
    const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                                saved[2] ? saved[2] : ""};
    setenv("HOME", "/home/op", 1);
    unsetenv("FENDREL_REGISTRY_DIR");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(SettingsStore::FromEnvironment().directory(), "/home/op/.local/state/fendrel");
    setenv("XDG_STATE_HOME", "/state", 1);
    EXPECT_EQ(SettingsStore::FromEnvironment().directory(), "/state/fendrel");
    setenv("FENDREL_REGISTRY_DIR", "/reg", 1);
    EXPECT_EQ(SettingsStore::FromEnvironment().directory(), "/reg");
    EXPECT_EQ(SettingsStore::FromEnvironment().HivePath(Hive::kCurrentUser),
              "/reg/HKEY_CURRENT_USER.reg");
    const char* names[] = {"FENDREL_REGISTRY_DIR", "XDG_STATE_HOME", "HOME"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i] != nullptr)
            setenv(names[i], keep[i].c_str(), 1);
        else
            unsetenv(names[i]);
    }
}

}  // namespace
}  // namespace platform
