#include "installer/CmdLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring UnreadMessage(CmdLine& cmdLine)
{
    try {
        cmdLine.CheckAllUsed();
    } catch (const CmdLine::Err& error) {
        return std::wstring(error.Description().ptr, error.Description().len);
    }
    return L"";
}

}  // namespace

struct SplitCase {
    const wchar_t* commandLine;
    std::vector<std::wstring> positionals;                    // after the program path
    std::vector<std::pair<std::wstring, std::wstring>> options;  // name, value ("-" for no value)
};

TEST(CmdLine, SplitsUnquotesAndClassifiesTokens)
{
    const std::vector<SplitCase> cases = {
        {LR"(prog.exe -installDir="C:\Program Files\X" -force)", {}, {{L"force", L"-"}, {L"installDir", LR"(C:\Program Files\X)"}}},
        {LR"(prog.exe -installDir="C:\X\" -force)", {}, {{L"installDir", LR"(C:\X" -force)"}}},
        {L"prog.exe -site=a -site=b", {}, {{L"site", L"b"}}},
        {L"prog.exe -site=a -site", {}, {{L"site", L"-"}}},
        {L"prog.exe \"a\"\"b\"", {L"a\"b"}, {}},
        {L"prog.exe \"\"", {L"\""}, {}},
        {L"prog.exe -", {L"-"}, {}},
        {L"prog.exe /", {L"/"}, {}},
        {L"prog.exe -=x", {}, {{L"", L"x"}}},
        {L"prog.exe -a=b=c -e=", {}, {{L"a", L"b=c"}, {L"e", L""}}},
        {LR"(prog.exe \\server\share a\b)", {LR"(\server\share)", LR"(a\b)"}, {}},
        {LR"(prog.exe \"quoted\")", {L"\"quoted\""}, {}},
        {L"prog.exe\tone\r\ntwo   three", {L"one", L"two", L"three"}, {}},
        {L"prog.exe \"two words\" /Flag", {L"two words"}, {{L"Flag", L"-"}}},
        {L"prog.exe", {}, {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "command line: " << std::string(c.commandLine, c.commandLine + wcslen(c.commandLine)));
        CmdLine cmdLine{wstrview(c.commandLine)};
        ASSERT_EQ(cmdLine.PositionalCount(), c.positionals.size() + 1);
        EXPECT_STREQ(cmdLine.Positional(0).name.c_str(), L"prog.exe");
        ASSERT_EQ(cmdLine.OptionCount(), c.options.size());
        for (size_t i = 0; i < c.positionals.size(); ++i)
            EXPECT_STREQ(cmdLine.Positional(ncsize_t(i + 1)).name.c_str(), c.positionals[i].c_str());
        wstring_nc name, value;
        bool hasValue = false;
        size_t index = 0;
        for (bool more = cmdLine.FirstOption(name, hasValue, value); more;
             more = cmdLine.NextOption(name, hasValue, value), ++index) {
            ASSERT_LT(index, c.options.size());
            EXPECT_STREQ(name.c_str(), c.options[index].first.c_str());
            if (c.options[index].second == L"-") {
                EXPECT_FALSE(hasValue);
            } else {
                EXPECT_TRUE(hasValue);
                EXPECT_STREQ(value.c_str(), c.options[index].second.c_str());
            }
        }
        EXPECT_EQ(index, c.options.size());
    }
}

TEST(CmdLine, FlagsAndValuesAreLookedUpWithoutRegardToCase)
{
    CmdLine cmdLine{L"prog.exe /FORCE -Site=web -force=yes2 -Quiet"_v};
    EXPECT_FALSE(cmdLine.IsFlag(L"force"_v, true)) << "the later -force=yes2 gives the option a value";
    wstring_nc value;
    EXPECT_TRUE(cmdLine.GetValue(L"SITE"_v, value));
    EXPECT_STREQ(value.c_str(), L"web");
    EXPECT_FALSE(cmdLine.GetValue(L"quiet"_v, value)) << "a flag has no value";
    EXPECT_TRUE(cmdLine.IsFlag(L"quiet"_v, true));
    EXPECT_EQ(UnreadMessage(cmdLine), L"Unexpected command parameter: -FORCE=yes2.");
}

TEST(CmdLine, HelpIsAnyOfThreeFlagsAndMarksNothing)
{
    for (const wchar_t* commandLine : {L"prog.exe -?", L"prog.exe /h", L"prog.exe -HELP -site=x"}) {
        CmdLine cmdLine{wstrview(commandLine)};
        EXPECT_TRUE(cmdLine.IsHelp()) << commandLine;
        EXPECT_FALSE(UnreadMessage(cmdLine).empty()) << commandLine;
    }
    CmdLine withValue{L"prog.exe -help=1"_v};
    EXPECT_FALSE(withValue.IsHelp());
}

TEST(CmdLine, ReportsUnreadTokensPositionalsFirstThenOptionsInNameOrder)
{
    struct UnreadCase {
        const wchar_t* commandLine;
        const wchar_t* message;
    };
    const std::vector<UnreadCase> cases = {
        {L"prog.exe foo -bar", L"Unexpected command option: foo.\nUnexpected command parameter: -bar."},
        {L"prog.exe -Zeta -alpha", L"Unexpected command parameter: -alpha.\nUnexpected command parameter: -Zeta."},
        {L"prog.exe -force=yes", L"Unexpected command parameter: -force=yes."},
        {L"prog.exe -", L"Unexpected command option: -."},
        {L"prog.exe -=x", L"Unexpected command parameter: -=x."},
        {L"prog.exe -b second -a first", L"Unexpected command option: second.\nUnexpected command option: first.\n"
                                         L"Unexpected command parameter: -a.\nUnexpected command parameter: -b."},
        {L"prog.exe", L""},
    };
    for (const UnreadCase& c : cases) {
        CmdLine cmdLine{wstrview(c.commandLine)};
        EXPECT_EQ(UnreadMessage(cmdLine), c.message) << c.commandLine;
    }
}

TEST(CmdLine, ReadTokensAreNotReported)
{
    CmdLine cmdLine{L"prog.exe -force -installDir=C:\\X -site=a"_v};
    wstring_nc value;
    EXPECT_TRUE(cmdLine.IsFlag(L"force"_v, true));
    EXPECT_TRUE(cmdLine.GetValue(L"installDir"_v, value));
    EXPECT_FALSE(cmdLine.IsFlag(L"site"_v, true)) << "an option with a value is not a flag";
    EXPECT_EQ(UnreadMessage(cmdLine), L"Unexpected command parameter: -site=a.");
}

TEST(CmdLine, WithoutOptionFlagsSlashAndQuotesAreOrdinary)
{
    CmdLine cmdLine{LR"(prog.exe /force "a""b" \"x)"_v, 0};
    ASSERT_EQ(cmdLine.PositionalCount(), 4u);
    EXPECT_EQ(cmdLine.OptionCount(), 0u);
    EXPECT_STREQ(cmdLine.Positional(1).name.c_str(), L"/force");
    EXPECT_STREQ(cmdLine.Positional(2).name.c_str(), L"ab");
    EXPECT_STREQ(cmdLine.Positional(3).name.c_str(), LR"(\x)");
}
