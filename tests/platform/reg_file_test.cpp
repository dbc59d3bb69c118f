#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include <cstdio>

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

// A comment never goes on to the next line, whatever it ends in; a hex list still does.
TEST(RegFile, ACommentEndsAtItsLine) {
    const RegistryHive hive = Parse(
        "Windows Registry Editor Version 5.00\r\n"
        "; \"old\"=hex:01,\\\r\n"
        "[HKEY_LOCAL_MACHINE\\K]\r\n"
        ";\\\r\n"
        "\"a\"=hex:01,\\\r\n"
        "  02\r\n");
    const RegistryKey* key = hive.FindKey("K");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values[0].data, "\x01\x02");
}

// What a registry cannot hold is refused with the line and the limit it breaks.
TEST(RegFile, RefusesKeysAndNamesBeyondTheRegistrysLimits) {
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const auto deep = [](int levels) {
        std::string path = "[HKEY_LOCAL_MACHINE";
        for (int i = 0; i < levels; ++i)
            path += "\\k";
        return path + "]\r\n";
    };
    const std::string key = "[HKEY_LOCAL_MACHINE\\K]\r\n";
    const std::string name_255 = std::string(255, 'n');
    const std::string value_16383 = "\"" + std::string(16383, 'v') + "\"=dword:1\r\n";
    EXPECT_EQ(Parse(header + deep(512)).keys().size(), 512u);
    EXPECT_EQ(Parse(header + "[HKEY_LOCAL_MACHINE\\" + name_255 + "]\r\n").keys().size(), 1u);
    EXPECT_EQ(Parse(header + key + value_16383).FindKey("K")->values.size(), 1u);

    const std::pair<std::string, std::string> refused[] = {
        {header + deep(513),
         "line 3: the key lies more than 512 levels deep, deeper than a registry allows"},
        {header + deep(60000),
         "line 3: the key lies more than 512 levels deep, deeper than a registry allows"},
        {header + key + "[HKEY_LOCAL_MACHINE\\K\\" + name_255 + "n]\r\n",
         "line 4: a key name is 256 characters long, longer than the 255 a registry allows"},
        {header + key + "\"" + std::string(16384, 'v') + "\"=dword:1\r\n",
         "line 4: the value name is 16384 characters long, longer than the 16383 a registry "
         "allows"},
    };
    for (const auto& [text, message] : refused) {
        std::string error;
        EXPECT_FALSE(ParseRegFile(text, kRoot, &error).has_value()) << message;
        EXPECT_EQ(error, message);
    }
}

// Keys are found without regard to case among many, each added once with its parents first.
TEST(RegFile, FindsAndAddsKeysAmongMany) {
    RegistryHive hive;
    for (int i = 0; i < 1000; ++i)
        hive.AddKey("Enum\\USB\\Device " + std::to_string(i) + "\\Device Parameters");
    ASSERT_EQ(hive.keys().size(), 2u + 2 * 1000);
    EXPECT_EQ(hive.keys()[0].path, "Enum");
    EXPECT_EQ(hive.keys()[1].path, "Enum\\USB");
    EXPECT_EQ(hive.keys()[2].path, "Enum\\USB\\Device 0");
    EXPECT_EQ(hive.keys()[3].path, "Enum\\USB\\Device 0\\Device Parameters");
    EXPECT_EQ(&hive.AddKey("ENUM\\usb\\device 999"), hive.FindKey("Enum\\USB\\Device 999"));
    EXPECT_EQ(hive.keys().size(), 2u + 2 * 1000);
    EXPECT_EQ(hive.FindKey("enum\\usb\\DEVICE 5\\device parameters")->path,
              "Enum\\USB\\Device 5\\Device Parameters");
    EXPECT_EQ(hive.FindKey("Enum\\USB\\Device 1000"), nullptr);
    EXPECT_EQ(hive.FindKey("Enum\\US"), nullptr);
}

// However many values a key has, a name read again (in any case) replaces the value in its first
// place and keeps the case it was first written in.
TEST(RegFile, ARepeatedValueMergesInKeysOfManyValues) {
    std::string text = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";
    char number[16];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(number, sizeof number, "%08x", i);
        text += "\"Value" + std::to_string(i) + "\"=dword:" + number + "\r\n";
    }
    text += "[HKEY_LOCAL_MACHINE\\Other]\r\n\"Value3\"=dword:ff\r\n";
    text += "[HKEY_LOCAL_MACHINE\\k]\r\n";
    for (const int i : {3, 20, 39})
        text += "\"VALUE" + std::to_string(i) + "\"=\"again " + std::to_string(i) + "\"\r\n";
    text += "\"Value40\"=dword:28\r\n";

    const RegistryHive hive = Parse(text);
    const RegistryKey* key = hive.FindKey("K");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 41u);
    for (int i = 0; i <= 40; ++i) {
        const RegistryValue& value = key->values[static_cast<std::size_t>(i)];
        EXPECT_EQ(value.name, "Value" + std::to_string(i));
        if (i == 3 || i == 20 || i == 39)
            EXPECT_EQ(value.text(), "again " + std::to_string(i));
        else
            EXPECT_EQ(value.dword(), static_cast<std::uint32_t>(i));
    }
    EXPECT_EQ(hive.FindKey("Other")->values.size(), 1u);
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
