// The host system query and wide text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/host_system.h"
#include "platform/wide_text.h"

namespace platform {
namespace {

TEST(HostSystem, ParsesTheWindowsAHostMayBeNamed) {
    const auto xp = ParseHostSystem("windows-5.1-32");
    ASSERT_TRUE(xp);
    EXPECT_EQ(xp->family, OsFamily::kWindows);
    EXPECT_EQ(xp->major, 5u);
    EXPECT_EQ(xp->minor, 1u);
    EXPECT_FALSE(xp->is_64bit);
    const auto seven = ParseHostSystem("windows-6.1-64");
    ASSERT_TRUE(seven);
    EXPECT_EQ(seven->major, 6u);
    EXPECT_TRUE(seven->is_64bit);
    for (const char* name : {"", "windows", "windows-5.1", "windows-5-32", "windows-5.1-16",
                             "windows-5.1-32x", "Windows-5.1-32", "windows--5.1-32",
                             "windows-5.-32", "linux-5.1-64", "windows-99999999999.1-32"}) {
        EXPECT_FALSE(ParseHostSystem(name)) << name;
    }
}

TEST(HostSystem, AnswersThisHostUnlessTheEnvironmentNamesAnother) {
    unsetenv("FENDREL_HOST_OS");
    const auto host = QueryHostSystem();
    ASSERT_TRUE(host);
    EXPECT_EQ(host->family, OsFamily::kPosix);
    EXPECT_GT(host->major, 0u);
    if (sizeof(void*) == 8) {
        EXPECT_TRUE(host->is_64bit);
    }

    setenv("FENDREL_HOST_OS", "windows-5.1-32", 1);
    const auto named = QueryHostSystem();
    ASSERT_TRUE(named);
    EXPECT_EQ(named->family, OsFamily::kWindows);
    EXPECT_FALSE(named->is_64bit);

    setenv("FENDREL_HOST_OS", "xp", 1);
    std::string error;
    EXPECT_FALSE(QueryHostSystem(&error));
    EXPECT_NE(error.find("FENDREL_HOST_OS=\"xp\""), std::string::npos) << error;
    unsetenv("FENDREL_HOST_OS");
}

TEST(WideText, DecodesWellFormedUtf8AndRefusesTheRest) {
    EXPECT_EQ(WideFromNative(""), L"");
    EXPECT_EQ(WideFromNative("/opt/32bit/kestomdm.inf"), L"/opt/32bit/kestomdm.inf");
    EXPECT_EQ(WideFromNative("Pr\xC3\xBC"
                             "f"),
              L"Pr\u00FCf");
    EXPECT_EQ(WideFromNative("\xE2\x82\xAC"), L"\u20AC");
    EXPECT_EQ(WideFromNative("\xF0\x9F\x93\xB1"), L"\U0001F4F1");
    EXPECT_EQ(WideFromNative("\xF4\x8F\xBF\xBF"), L"\U0010FFFF");
    for (const char* bad : {
             "\x80",              // a continuation byte first
             "\xC3",              // cut off
             "\xE2\x82",          // cut off
             "\xC0\xAF",          // overlong '/'
             "\xE0\x80\xAF",      // overlong '/'
             "\xF0\x80\x80\xAF",  // overlong '/'
             "\xED\xA0\x80",      // a surrogate
             "\xF4\x90\x80\x80",  // above U+10FFFF
             "\xF8\x88\x80\x80\x80",
             "a\xC3(",  // no continuation
         }) {
        EXPECT_FALSE(WideFromNative(bad)) << ::testing::PrintToString(bad);
    }
}

}  // namespace
}  // namespace platform
