#include "platform/reg_file.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

RegistryHive Parse(std::string_view text) {
    std::string error;
    auto hive = ParseRegFile(text, kRoot, &error);
    EXPECT_TRUE(hive.has_value()) << error;
    return hive.value_or(RegistryHive());
}

TEST(RegFile, WritesTheExportFormatAndReadsItBack) {
    RegistryHive hive;
    RegistryKey& key = hive.AddKey("SOFTWARE\\Fendrel");
    key.SetValue(RegistryValue::Dword("iPass", 0x12AB));
    key.SetValue(RegistryValue::String("sPath", "C:\\images\\ \"new\""));
    key.SetValue(RegistryValue::String("", "default"));
    key.SetValue(RegistryValue::String("multi", "a\r\nb"));
    key.SetValue(RegistryValue{"raw", 7, std::string("a\0b", 3)});

    const std::string text = FormatRegFile(hive, kRoot);
    EXPECT_EQ(text,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fendrel]\r\n"
              "\"iPass\"=dword:000012ab\r\n"
              "\"sPath\"=\"C:\\\\images\\\\ \\\"new\\\"\"\r\n"
              "@=\"default\"\r\n"
              "\"multi\"=hex(1):61,0d,0a,62,00\r\n"
              "\"raw\"=hex(7):61,00,62\r\n\r\n");

    const RegistryHive back = Parse(text);
    ASSERT_EQ(back.keys().size(), 2u);
    const RegistryKey* read = back.FindKey("software\\FENDREL");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->path, "SOFTWARE\\Fendrel");
    EXPECT_EQ(read->FindValue("IPASS")->dword(), 0x12ABu);
    EXPECT_EQ(read->FindValue("sPath")->text(), "C:\\images\\ \"new\"");
    EXPECT_EQ(read->FindValue("")->text(), "default");
    EXPECT_EQ(read->FindValue("multi")->text(), "a\r\nb");
    EXPECT_EQ(read->FindValue("raw")->type, 7u);
    EXPECT_EQ(read->FindValue("raw")->data, std::string("a\0b", 3));
    EXPECT_FALSE(read->FindValue("raw")->text().has_value());
    EXPECT_EQ(FormatRegFile(back, kRoot), text);
}

TEST(RegFile, ReadsWhatEditorsAndExportsWrite) {
    const RegistryHive hive = Parse(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
        "; a technician's note\n"
        "[hkey_local_machine\\SOFTWARE\\Ostrel\\AppFileList]\n"
        "\"FILE00\" = \"a.img\"\n"
        "\"blob\"=hex:01,02,\\\n"
        "  03,ff\n"
        "\"n\"=dword:7\n"
        "\"FILE00\"=\"b.img\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrel\\AppFileList]\n"
        "\"more\"=\"\"\n");
    // Parents are added; a repeated section and a repeated value merge as an import would.
    ASSERT_EQ(hive.keys().size(), 3u);
    EXPECT_NE(hive.FindKey("SOFTWARE"), nullptr);
    const RegistryKey* key = hive.FindKey("SOFTWARE\\Ostrel\\AppFileList");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 4u);
    EXPECT_EQ(key->values[0].text(), "b.img");
    EXPECT_EQ(key->values[1].type, 3u);
    EXPECT_EQ(key->values[1].data, "\x01\x02\x03\xff");
    EXPECT_EQ(key->values[2].dword(), 7u);
    EXPECT_EQ(key->values[3].text(), "");
}

TEST(RegFile, RefusesTextsThatAreNotAHive) {
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    const std::string key = "[HKEY_LOCAL_MACHINE\\K]\r\n";
    struct Case {
        std::string text;
        const char* line;  // the line the error names
    };
    const Case cases[] = {
        {"", "line 1:"},
        {"REGEDIT4\r\n" + key, "line 1:"},
        {header + "\"a\"=\"b\"\r\n", "line 2:"},
        {header + "[-HKEY_LOCAL_MACHINE\\K]\r\n", "line 2:"},
        {header + "[HKEY_CURRENT_USER\\K]\r\n", "line 2:"},
        {header + "[HKEY_LOCAL_MACHINE]\r\n", "line 2:"},
        {header + "[HKEY_LOCAL_MACHINE\\a\\\\b]\r\n", "line 2:"},
        {header + "[HKEY_LOCAL_MACHINE\\K\r\n", "line 2:"},
        {header + key + "\"a\"=-\r\n", "line 3:"},
        {header + key + "\"a\"=dword:123456789\r\n", "line 3:"},
        {header + key + "\"a\"=dword:\r\n", "line 3:"},
        {header + key + "\"a\"=\"b\\q\"\r\n", "line 3:"},
        {header + key + "\"a\"=\"b\r\n", "line 3:"},
        {header + key + "\"a\"=\"b\" tail\r\n", "line 3:"},
        {header + key + "\"a\"=hex:1,,2\r\n", "line 3:"},
        {header + key + "\"a\"=hex(x):01\r\n", "line 3:"},
        {header + key + "\"a\"=hex:100\r\n", "line 3:"},
        {header + key + "\"a\"=text\r\n", "line 3:"},
        {header + key + "\"a\x01\"=\"b\"\r\n", "line 3:"},
        {header + key + "a=\"b\"\r\n", "line 3:"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseRegFile(c.text, kRoot, &error).has_value()) << c.text;
        EXPECT_EQ(error.rfind(c.line, 0), 0u) << c.text << " gave " << error;
    }
}

TEST(RegFile, KeyPathsAndValueNames) {
    EXPECT_TRUE(IsValidKeyPath("SOFTWARE\\Fendrel"));
    EXPECT_TRUE(IsValidKeyPath("Enum\\USB\\VID_05C6&PID_9025&MI_00\\1-2\\Device Parameters"));
    EXPECT_FALSE(IsValidKeyPath(""));
    EXPECT_FALSE(IsValidKeyPath("\\SOFTWARE"));
    EXPECT_FALSE(IsValidKeyPath("SOFTWARE\\"));
    EXPECT_FALSE(IsValidKeyPath("a\nb"));
    EXPECT_TRUE(IsValidKeyPath(std::string(255, 'k')));
    EXPECT_FALSE(IsValidKeyPath(std::string(256, 'k')));
    EXPECT_TRUE(IsValidValueName(""));
    EXPECT_FALSE(IsValidValueName("a\tb"));
}

}  // namespace
}  // namespace platform
