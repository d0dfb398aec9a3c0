#include "OutputCapture.h"

#include "installer/CmdLine.h"
#include "installer/InstallerState.h"
#include "installer/RunSequence.h"
#include "installer/UsageText.h"

#include "InstallLib/RunExit.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/StructuredException.h"
#include "NoCrtLib/TextConvert.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string Utf8(wstrview text)
{
    astring_nc narrow = WideToNarrow(text, CP_UTF8);
    return std::string(narrow.c_str(), narrow.length());
}

bool g_guardDestroyed;

struct Guard {
    ~Guard() { g_guardDestroyed = true; }
};

volatile int* volatile g_nullPointer = nullptr;
volatile int g_zero = 0;
volatile int g_sink;

__attribute__((noinline)) void ReadThroughNull()
{
    Guard guard;
    g_sink = *g_nullPointer;
}

__attribute__((noinline)) void DivideByZero(int dividend)
{
    Guard guard;
    g_sink = dividend / g_zero;
}

struct HandlerCase {
    const char* name;
    void (*region)();
    int exitCode;
    std::string output;
};

class TopLevelHandlers : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetUpProcess();
        InstallerState::Instance().interactive = false;  // no message boxes
    }
};

}  // namespace

TEST_F(TopLevelHandlers, TurnEachKindOfFailureIntoItsOutputAndExitCode)
{
    const std::string usage = Utf8(UsageText().str()) + "\n";
    const std::vector<HandlerCase> cases = {
        {"completed region", [] {}, 0, ""},
        {"silent exit", [] { throw SilentExit(107); }, 107, ""},
        {"help", [] { throw SilentExit(200); }, 200, usage},
        {"command-line error",
         [] { throw CmdLine::Err(L"Unexpected command option: foo.\nUnexpected command parameter: -bar."_v); }, 201,
         "Unexpected command option: foo.\nUnexpected command parameter: -bar.\n\n" + usage},
        {"text exception", [] { throw WStrException(L"Something \u00e9 went wrong"_v); }, 150,
         "Exception caught: Something \xc3\xa9 went wrong\n"},
        {"system error", [] { throw SystemError(L""_v, 99998); }, 150,
         "std::exception caught: Windows error 99998.\n"},
        {"standard exception", [] { throw std::runtime_error("plain"); }, 150, "std::exception caught: plain\n"},
        {"anything else", [] { throw 42; }, 150, "Unrecognized exception caught\n"},
    };
    for (const HandlerCase& c : cases) {
        SCOPED_TRACE(c.name);
        OutputCapture output;
        EXPECT_EQ(RunGuarded(c.region), c.exitCode);
        EXPECT_EQ(output.Text(), c.output);
    }
}

TEST_F(TopLevelHandlers, ProcessorFaultsUnwindTheFaultingFrameAndEndWith150)
{
    struct FaultCase {
        void (*region)();
        std::string output;
    };
    const std::vector<FaultCase> cases = {
        {[] { ReadThroughNull(); }, "std::exception caught: EXCEPTION_ACCESS_VIOLATION\n"},
        {[] { DivideByZero(7); }, "std::exception caught: EXCEPTION_INT_DIVIDE_BY_ZERO\n"},
    };
    for (const FaultCase& c : cases) {
        g_guardDestroyed = false;
        OutputCapture output;
        EXPECT_EQ(RunGuarded(c.region), 150);
        EXPECT_EQ(output.Text(), c.output);
        EXPECT_TRUE(g_guardDestroyed) << "the destructor in the faulting frame did not run";
    }
}

TEST_F(TopLevelHandlers, UsageTextHasItsTwentyEightLines)
{
    std::string usage = Utf8(UsageText().str());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(usage.substr(start, end - start));
    EXPECT_EQ(start, usage.size()) << "the text ends with a line feed";
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[0], "This program will install Korvane SSH Server 5.59");
    EXPECT_EQ(lines[4], "See https://www.korvane.example/ssh-server for more information.");
    EXPECT_EQ(lines[19], "  The prefix \"Korvane SSH Server - \" will be prepended automatically.");
    EXPECT_EQ(lines[27], "closed.");
}
