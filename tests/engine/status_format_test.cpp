// Status texts are data (a site may override them): only integer conversions take numbers.
#include <gtest/gtest.h>

#include "engine/status_format.h"

namespace fendrel {
namespace {

TEST(FormatNumbers, FillsIntegerConversionsAndKeepsTheRest) {
    struct Case {
        const char* format;
        std::string text;
    };
    const Case cases[] = {
        {"Download ram(0x%x/0x%x)...", "Download ram(0x1f/0xffffffff)..."},
        {"Erase checksum fail!", "Erase checksum fail!"},
        {"%08X|%-4d|%u", "0000001F|-1  |%u"},
        {"%ld and %hhx", "31 and ffffffff"},
        {"100%% %x", "100% 1f"},
        {"%s %n %x", "%s %n 1f"},
        {"%x %x %x", "1f ffffffff %x"},
        {"%999999x", "%999999x"},
        {"%.99999d", "%.99999d"},
        {"trailing %", "trailing %"},
        {"%*d", "%*d"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatNumbers(c.format, {0x1f, 0xffffffffu}), c.text) << c.format;
}

TEST(FormatName, FillsTheFirstPlainStringConversionOnly) {
    struct Case {
        const char* format;
        std::string text;
    };
    const Case cases[] = {
        {"Backupping NV(%s)...", "Backupping NV(NV_ESN)..."},
        {"%s and %s", "NV_ESN and %s"},
        {"%d%% %-9s %s", "%d% %-9s NV_ESN"},
        {"no conversion", "no conversion"},
        {"trailing %", "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatName(c.format, "NV_ESN"), c.text) << c.format;
}

}  // namespace
}  // namespace fendrel
