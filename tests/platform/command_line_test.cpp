// Command lines split as Windows programs read them, and program paths quoted for them.
#include <gtest/gtest.h>

#include "platform/processes.h"

namespace platform {
namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheRulesOfTheWindowsCRuntime) {
    const struct {
        const char* command_line;
        Arguments arguments;
    } cases[] = {
        // The program name: backslashes are folders, quotes group and vanish.
        {R"(C:\tools\32bit\devcon.exe rescan)", {R"(C:\tools\32bit\devcon.exe)", "rescan"}},
        {R"("/srv/Service Desk/32bit/devcon.exe" rescan)",
         {"/srv/Service Desk/32bit/devcon.exe", "rescan"}},
        {R"(C:\a\"b c"\d.exe)", {R"(C:\a\b c\d.exe)"}},
        {R"(C:\x\\" y)", {R"(C:\x\\ y)"}},  // no backslash rule in the program name
        // A hardware id keeps its backslash; quotes around it go.
        {R"(/t/devcon.exe remove "USB\VID_05c6&PID_9025&MI_00")",
         {"/t/devcon.exe", "remove", R"(USB\VID_05c6&PID_9025&MI_00)"}},
        {"/t/DPInst.exe /q", {"/t/DPInst.exe", "/q"}},
        // Blanks: spaces and tabs separate, runs of them count once, trailing ones add nothing.
        {"p  a\t\tb  ", {"p", "a", "b"}},
        {"p", {"p"}},
        {"", {""}},
        {" a", {"", "a"}},
        // Backslashes before a quote: 2n give n and a quote that groups, 2n+1 give n and a
        // literal quote; elsewhere they stand.
        {R"(p a\\"b c"d)", {"p", R"(a\b cd)"}},
        {R"(p a\"b)", {"p", R"(a"b)"}},
        {R"(p a\\\"b)", {"p", R"(a\"b)"}},
        {R"(p a\\b\)", {"p", R"(a\\b\)"}},
        // Quoted parts: empty ones make empty arguments, "" inside one is a quote.
        {R"(p "" x)", {"p", "", "x"}},
        {R"(p "a""b" c)", {"p", R"(a"b)", "c"}},
        {R"(p "a b)", {"p", "a b"}},  // an open quote runs to the end
        {R"(p a"b c"d e)", {"p", "ab cd", "e"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command_line);
        EXPECT_EQ(SplitCommandLine(c.command_line), c.arguments);
    }
}

TEST(QuoteProgramPath, QuotesOnlyWhatNeedsItAndRefusesWhatNoCommandLineCanHold) {
    EXPECT_EQ(QuoteProgramPath("/srv/tools/devcon.exe"), "/srv/tools/devcon.exe");
    EXPECT_EQ(QuoteProgramPath("/srv/Service Desk/devcon.exe"), "\"/srv/Service Desk/devcon.exe\"");
    EXPECT_EQ(QuoteProgramPath("/srv/tab\there"), "\"/srv/tab\there\"");
    EXPECT_EQ(QuoteProgramPath("/srv/say \"hi\"/devcon.exe"), "");
    for (const char* path : {"/srv/Service Desk/devcon.exe", "C:\\Program Files\\x.exe"}) {
        EXPECT_EQ(SplitCommandLine(QuoteProgramPath(path) + " rescan"),
                  (Arguments{path, "rescan"}));
    }
}

TEST(QuoteArgument, AnyArgumentComesBackAsItWas) {
    const std::string arguments[] = {
        "",
        "plain",
        "two words",
        "say \"hi\"",
        "C:\\Images\\",       // a trailing backslash before the closing quote
        "a\\\\\"b",           // backslashes before a quote
        "\\\\server\\share",  // backslashes that stand as they are
        "tab\there 'single' $HOME `x`",
    };
    for (const std::string& argument : arguments) {
        SCOPED_TRACE(argument);
        EXPECT_EQ(SplitCommandLine("p " + QuoteArgument(argument) + " next"),
                  (Arguments{"p", argument, "next"}));
    }
}

}  // namespace
}  // namespace platform
