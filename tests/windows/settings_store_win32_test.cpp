// The settings store on Windows answers alike whether it is the system's registry or the hive
// files of $FENDREL_REGISTRY_DIR.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/settings_store.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;

// A key of the test's own below HKEY_CURRENT_USER of the Wine prefix, removed afterwards.
constexpr char kTestKey[] = "Software\\FendrelStoreTest";

enum class Backend { kRegistry, kHiveFiles };

class SettingsStoreBackendTest : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        std::string error;
        ASSERT_TRUE(store_.CreateKey(Hive::kCurrentUser, kTestKey, &error)) << error;
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

    TempDir dir_;
    SettingsStore store_ = GetParam() == Backend::kRegistry ? SettingsStore::SystemRegistry()
                                                            : SettingsStore(dir_.path());
};

TEST_P(SettingsStoreBackendTest, KeysOpenOnlyOnceCreated) {
    std::string error;
    EXPECT_FALSE(store_.OpenKey(Hive::kCurrentUser, std::string(kTestKey) + "\\Missing", &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_TRUE(store_.OpenKey(Hive::kCurrentUser, "software\\fendrelstoretest", &error)) << error;
}

TEST_P(SettingsStoreBackendTest, ValuesKeepTheirTypes) {
    auto key = store_.OpenKey(Hive::kCurrentUser, kTestKey);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->QueryDword("iPass"));
    ASSERT_TRUE(key->SetDword("iPass", 41));
    ASSERT_TRUE(key->SetString("Folder", "C:\\images\\set 1"));
    ASSERT_TRUE(key->SetString("", "default"));
    EXPECT_EQ(key->QueryDword("ipass"), 41u);
    EXPECT_EQ(key->QueryString("FOLDER"), "C:\\images\\set 1");
    EXPECT_EQ(key->QueryString(""), "default");
    EXPECT_FALSE(key->QueryString("iPass"));  // a DWORD is no text
    EXPECT_FALSE(key->QueryDword("Folder"));
    EXPECT_EQ(key->IncrementDword("iPass"), 42u);
    EXPECT_EQ(key->IncrementDword("iFail"), 1u);
    ASSERT_TRUE(key->SetString("iPass", "text now"));
    EXPECT_EQ(key->QueryString("iPass"), "text now");

    // The registry lists values in an order of its own: compare the names only.
    std::set<std::string> names;
    for (std::size_t i = 0; auto value = key->EnumValue(i); ++i)
        names.insert(value->name);
    EXPECT_EQ(names, (std::set<std::string>{"", "Folder", "iFail", "iPass"}));
}

INSTANTIATE_TEST_SUITE_P(Windows, SettingsStoreBackendTest,
                         ::testing::Values(Backend::kRegistry, Backend::kHiveFiles),
                         [](const auto& param_info) {
                             return param_info.param == Backend::kRegistry ? "Registry"
                                                                           : "HiveFiles";
                         });

TEST(SettingsStoreEnvironment, HiveFolderWhenNamedElseTheRegistry) {
    TempDir dir;
    _putenv_s("FENDREL_REGISTRY_DIR", dir.path().c_str());
    const SettingsStore named = SettingsStore::FromEnvironment();
    _putenv_s("FENDREL_REGISTRY_DIR", "");
    const SettingsStore system = SettingsStore::FromEnvironment();
    EXPECT_FALSE(named.is_system_registry());
    EXPECT_EQ(named.directory(), dir.path());
    EXPECT_TRUE(system.is_system_registry());
}

}  // namespace
}  // namespace platform
