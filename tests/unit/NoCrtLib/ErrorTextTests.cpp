#include "TestSupport.h"

#include "NoCrtLib/Assertion.h"
#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NoCrtRandom.h"
#include "NoCrtLib/OpCx.h"

#include <windows.h>
#include <ntsecapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// The system's own message for a code as FormatMessageW gives it, line breaks included;
// empty when the system has none.
std::wstring RawSystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        0x0800, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer)
        LocalFree(buffer);
    return text;
}

std::wstring WithoutTrailingLineBreaks(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
}

bool SystemKnows(DWORD code)
{
    return !RawSystemText(code).empty() || LsaNtStatusToWinError(NTSTATUS(code)) != ERROR_MR_MID_NOT_FOUND;
}

struct BuiltinEntry {
    DWORD code;
    const wchar_t* text;
};

const std::vector<BuiltinEntry> BuiltinTexts = {
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough storage is available to process this command."},
    {14, L"Not enough storage is available to complete this operation."},
    {86, L"The specified network password is not correct."},
    {2221, L"The user name could not be found."},
    {2226, L"This operation is only allowed on the primary domain controller of the domain."},
    {2245, L"The password does not meet the password policy requirements. Check the minimum password length, "
           L"password complexity and password history requirements."},
    {2351, L"This computer name is invalid."},
    {10004, L"A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, L"The file handle supplied is not valid."},
    {10013, L"An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014, L"The system detected an invalid pointer address in attempting to use a pointer argument in a call."},
    {10022, L"An invalid argument was supplied."},
    {10024, L"A non-blocking socket operation could not be completed immediately."},
    {10035, L"A non-blocking socket operation could not be completed immediately."},
    {10036, L"A blocking operation is currently executing."},
    {10037, L"An operation was attempted on a non-blocking socket that already had an operation in progress."},
    {10048, L"Only one usage of each socket address (protocol/network address/port is normally permitted."},
    {10049, L"The requested address is not valid in its context."},
    {10050, L"A socket operation encountered a dead network."},
    {10052, L"The connection has been broken due to keep-alive activity detecting a failure while the operation was "
            L"in progress."},
    {10053, L"An established connection was aborted by the software in your host machine."},
    {10054, L"An existing connection was forcibly closed by the remote host."},
    {10057, L"A request to send or receive data was disallowed because the socket is not connected and (when sending "
            L"on a datagram socket using a sendto call no address was supplied."},
    {10058, L"A request to send or receive data was disallowed because the socket had already been shut down in that "
            L"direction with a previous shutdown call."},
    {10060, L"A connection attempt failed because the connected party did not properly respond after a period of time, "
            L"or established connection failed because connected host has failed to respond."},
    {10061, L"No connection could be made because the target machine actively refused it."},
    {11001, L"No such host is known."},
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Error numbers

TEST(ErrorNumberText, DecimalUpTo99999ThenEightHexDigits)
{
    struct Case {
        DWORD code;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {0, L"0"},
        {5, L"5"},
        {99999, L"99999"},
        {100000, L"0x000186A0"},
        {2147942405u, L"0x80070005"},
        {0xC0000005u, L"0xC0000005"},
        {0xFFFFFFFFu, L"0xFFFFFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(W(ErrorNumberText(c.code)), c.expected);
    }
    EXPECT_EQ(W(WinErrorNumberText(5, true)), L"Windows error 5.");
    EXPECT_EQ(W(WinErrorNumberText(100000, false)), L"Windows error 0x000186A0");
}

// ---------------------------------------------------------------------------------------------
// Windows error texts

TEST(WinErrorText, SystemTextWithoutItsTrailingLineBreak)
{
    for (DWORD code : {DWORD(2), DWORD(5)}) {
        SCOPED_TRACE(code);
        std::wstring raw = RawSystemText(code);
        ASSERT_FALSE(raw.empty()) << "the system has no text for this code";
        std::wstring systemText = WithoutTrailingLineBreaks(raw);
        ASSERT_FALSE(systemText.empty());

        EXPECT_EQ(W(WinErrorText(code)), systemText);
        EXPECT_EQ(W(WinErrorDescription(code)), L"Windows error " + std::to_wstring(code) + L": " + systemText);
    }
}

TEST(WinErrorText, InsertsAreLeftAsTheyAre)
{
    std::wstring systemText = WithoutTrailingLineBreaks(RawSystemText(ERROR_BAD_EXE_FORMAT));
    if (systemText.find(L"%1") == std::wstring::npos)
        GTEST_SKIP() << "the system's text for this code has no insert";
    EXPECT_EQ(W(WinErrorText(ERROR_BAD_EXE_FORMAT)), systemText);
}

TEST(WinErrorText, UnknownCodesGiveTheNumberWithAPeriod)
{
    struct Case {
        DWORD code;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {99998, L"Windows error 99998."},
        {65535, L"Windows error 65535."},
        {0x20001234, L"Windows error 0x20001234."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_TRUE(RawSystemText(c.code).empty()) << "the system knows this code";
        EXPECT_EQ(W(WinErrorText(c.code)), c.expected);
        EXPECT_EQ(W(WinErrorDescription(c.code)), c.expected);
    }
}

// An NTSTATUS the message table does not know is converted to its Windows error first.
TEST(WinErrorText, NtStatusIsLookedUpAsItsWindowsError)
{
    const DWORD objectNameNotFound = 0xC0000034;
    ASSERT_TRUE(RawSystemText(objectNameNotFound).empty()) << "the system knows this code directly";
    std::wstring fileNotFound = WithoutTrailingLineBreaks(RawSystemText(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(fileNotFound.empty());
    EXPECT_EQ(W(WinErrorText(objectNameNotFound)), fileNotFound);
    EXPECT_EQ(W(WinErrorDescription(objectNameNotFound)), L"Windows error 0xC0000034: " + fileNotFound);
}

TEST(WinErrorText, BuiltInTextIsUsedWhenTheSystemHasNone)
{
    std::vector<BuiltinEntry> unknownToSystem;
    for (const BuiltinEntry& entry : BuiltinTexts)
        if (!SystemKnows(entry.code))
            unknownToSystem.push_back(entry);
    ASSERT_FALSE(unknownToSystem.empty()) << "the system knows every code of the built-in table";
    for (const BuiltinEntry& entry : unknownToSystem) {
        SCOPED_TRACE(entry.code);
        EXPECT_EQ(W(WinErrorText(entry.code)), entry.text);
        EXPECT_EQ(W(WinErrorDescription(entry.code)),
                  L"Windows error " + std::to_wstring(entry.code) + L": " + entry.text);
    }
}

TEST(BuiltinErrorText, HoldsTheTextOfEachListedCode)
{
    for (const BuiltinEntry& entry : BuiltinTexts) {
        SCOPED_TRACE(entry.code);
        const wchar_t* text = BuiltinErrorText(entry.code);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::wstring(text), entry.text);
    }
    EXPECT_EQ(std::wstring(BuiltinErrorText(10024)), std::wstring(BuiltinErrorText(10035)));
    for (DWORD unlisted : {DWORD(0), DWORD(7), DWORD(10025), DWORD(99998), DWORD(0x80070002)}) {
        SCOPED_TRACE(unlisted);
        EXPECT_EQ(BuiltinErrorText(unlisted), nullptr);
    }
}

TEST(WinErrorText, LookupsKeepTheThreadsLastErrorValue)
{
    struct Case {
        const char* name;
        std::function<void()> lookup;
    };
    const std::vector<Case> cases = {
        {"system text", [] { WinErrorText(2); }},
        {"unknown code", [] { WinErrorText(99998); }},
        {"unknown code, description", [] { WinErrorDescription(99998); }},
        {"NTSTATUS", [] { WinErrorDescription(0xC0000034); }},
        {"built-in text", [] { WinErrorDescription(2245); }},
        {"HRESULT", [] { ComErrorText(HRESULT(0x80070002)); }},
        {"system error text", [] { SystemError(L"CopyFileW()"_v, 99998).Description(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(4242);
        c.lookup();
        EXPECT_EQ(GetLastError(), 4242u);
    }
}

TEST(ComErrorText, KnownHresultsWrappedWindowsErrorsAndOthers)
{
    struct Case {
        DWORD hr;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {0x00000000, L"Success."},
        {0x00000001, L"Partial success."},
        {0x80004001, L"Not implemented."},
        {0x80004002, L"No such interface supported."},
        {0x80004003, L"Pointer that is not valid."},
        {0x80004004, L"Operation aborted."},
        {0x80004005, L"Unspecified failure."},
        {0x8000FFFF, L"Unexpected error."},
        {0x800401E5, L"The object identified by this moniker could not be found."},
        {0x80070005, L"General access denied error."},  // the table wins over the wrapped error 5
        {0x80070006, L"Handle that is not valid."},
        {0x8007000E, L"Failed to allocate necessary memory."},
        {0x80070057, L"One or more arguments are not valid."},
        {0x80070002, W(WinErrorText(2))},
        {0x80072745, W(WinErrorText(10053))},
        {0x8007FFFF, L"Windows error 65535."},
        {0x80040154, L""},
        {0x00070002, L""},
        {0xC0070002, L""},
        {0x00000002, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.hr);
        EXPECT_EQ(W(ComErrorText(HRESULT(c.hr))), c.expected);
    }
}

// ---------------------------------------------------------------------------------------------
// SystemError

TEST(SystemError, TextIsTheContextThenTheErrorDescription)
{
    struct Case {
        const wchar_t* context;
        DWORD code;
    };
    const std::vector<Case> cases = {{L"", 5}, {L"CopyFileW()", 5}, {L"SHCopyKey()", 2}, {L"GetProcAddress(X)", 99998}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.context)));
        std::wstring description = W(WinErrorDescription(c.code));
        std::wstring expected = *c.context ? std::wstring(c.context) + L" failed: " + description : description;
        SystemError error(wstrview(c.context), c.code);
        EXPECT_EQ(W(error.Description()), expected);
        EXPECT_EQ(W(error.Description()), expected);  // kept from the first call
        EXPECT_EQ(W(error.Context()), c.context);
        EXPECT_EQ(error.Code(), c.code);
        EXPECT_EQ(WidenAscii(error.what()), expected);  // the texts are ASCII

        SystemError copy(error);
        EXPECT_EQ(W(copy.Description()), expected);
    }
}

// ---------------------------------------------------------------------------------------------
// Operation contexts

TEST(OpEx, TextIsTheMessageAndTheContextLines)
{
    struct Case {
        const wchar_t* message;
        std::vector<const wchar_t*> lines;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {L"", {L"a", L"b"}, L"- a\n- b"},
        {L"message", {}, L"message"},
        {L"message", {L"a"}, L"message\n- a"},
        {L"message\n", {L"a", L"b"}, L"message\n\n- a\n- b"},
        {L"", {}, L""},
        {L"", {L"", L"b"}, L"- \n- b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.message)));
        OpCx context;
        for (const wchar_t* line : c.lines)
            context.AddContext(wstrview(line));
        OpEx error(context, wstrview(c.message));
        context.AddContext(L"added later"_v);  // the exception keeps its own copy of the lines
        EXPECT_EQ(W(error.Description()), c.expected);
        EXPECT_EQ(error.ContextLines().size(), ncsize_t(c.lines.size()));
        EXPECT_EQ(WidenAscii(error.what()), c.expected);
    }
}

TEST(OpCx, ContextTextIntroducesEachLineWithADash)
{
    OpCx context;
    EXPECT_EQ(W(context.ContextText()), L"");
    context.AddContext(L"NoCrtRandom::Init(): CryptAcquireContext() failed: Windows error 5."_v);
    EXPECT_EQ(W(context.ContextText()), L"- NoCrtRandom::Init(): CryptAcquireContext() failed: Windows error 5.");
    context.AddContext(L"second"_v);
    context.AddContext(L"third"_v);
    EXPECT_EQ(W(context.ContextText()),
              L"- NoCrtRandom::Init(): CryptAcquireContext() failed: Windows error 5.\n- second\n- third");
}

TEST(NoCrtRandom, SharesOneProviderBetweenInstances)
{
    ASSERT_EQ(NoCrtRandom::UseCount(), 0u);
    {
        NoCrtRandom first;
        EXPECT_EQ(NoCrtRandom::UseCount(), 1u);
        {
            NoCrtRandom second;
            EXPECT_EQ(NoCrtRandom::UseCount(), 2u);
            EXPECT_TRUE(second.ContextLines().empty());
        }
        EXPECT_EQ(NoCrtRandom::UseCount(), 1u);
    }
    EXPECT_EQ(NoCrtRandom::UseCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// The exception classes

TEST(WException, WhatGivesTheTextInTheAnsiCodePage)
{
    CPINFO info = {};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    if (info.MaxCharSize != 1)
        GTEST_SKIP() << "the ANSI code page has multi-byte characters";
    // No single-byte code page has this character: the code page's default character stands in.
    WStrException error(L"x\x4E2Dy"_v);
    std::string expected = std::string("x") + char(info.DefaultChar[0]) + "y";
    const char* first = error.what();
    EXPECT_EQ(std::string(first), expected);
    EXPECT_EQ(error.what(), first);  // the converted text is kept

    if (GetACP() == 1252) {
        WStrException accented(L"K\x00F6ln"_v);
        EXPECT_STREQ(accented.what(), "K\xF6ln");
    }
}

TEST(WException, EmptyDescriptionGivesAnEmptyText)
{
    WStrException error(L""_v);
    ASSERT_NE(error.what(), nullptr);
    EXPECT_STREQ(error.what(), "");
    EXPECT_STREQ(error.what(), "");
}

TEST(WException, LiteralExceptionKeepsItsLiteral)
{
    static const wchar_t literal[] = L"The operation was cancelled.";
    WLitException error{wstrview(literal)};
    EXPECT_EQ(error.Description().ptr, literal);
    EXPECT_EQ(W(error.Description()), literal);
}

// Each class is caught as WException and as std::exception, with one shared text.
TEST(WException, EveryClassIsCaughtThroughItsBases)
{
    struct Case {
        const char* name;
        std::function<void()> raise;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {"WLitException", [] { throw WLitException(L"literal"_v); }, L"literal"},
        {"WStrException", [] { throw WStrException(L"owned"_v); }, L"owned"},
        {"StrInvalidArgument", [] { throw StrInvalidArgument(L"bad argument"_v); }, L"bad argument"},
        {"StrAssertionFailed", [] { throw StrAssertionFailed(L"report"_v); }, L"report"},
        {"N2WException", [] { throw N2WException(); }, L"Narrow-to-wide conversion failed"},
        {"W2NException", [] { throw W2NException(); }, L"Wide-to-narrow conversion failed"},
        {"SystemError", [] { throw SystemError(L"OpenSCManager()"_v, 99998); },
         L"OpenSCManager() failed: Windows error 99998."},
        {"OpEx", [] {
             OpCx context;
             context.AddContext(L"line"_v);
             throw OpEx(context, L"message"_v);
         },
         L"message\n- line"},
        {"NoCrtRandomException", [] { throw NoCrtRandomException(OpCx(), L"random"_v); }, L"random"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.raise();
            ADD_FAILURE() << "nothing thrown";
        } catch (const WException& e) {
            EXPECT_EQ(W(e.Description()), c.text);
        } catch (...) {
            ADD_FAILURE() << "not caught as WException";
        }
        try {
            c.raise();
        } catch (const std::exception& e) {
            EXPECT_EQ(WidenAscii(e.what()), c.text);
        } catch (...) {
            ADD_FAILURE() << "not caught as std::exception";
        }
    }

    EXPECT_THROW(throw StrInvalidArgument(L"x"_v), InvalidArgument);
    EXPECT_THROW(throw StrInvalidArgument(L"x"_v), InvalidInput);
    EXPECT_THROW(throw StrInvalidArgument(L"x"_v), WStrException);
    EXPECT_THROW(throw StrAssertionFailed(L"x"_v), AssertionFailed);
    EXPECT_THROW(throw StrAssertionFailed(L"x"_v), WStrException);
    EXPECT_THROW(throw NoCrtRandomException(OpCx(), L"x"_v), OpEx);
    EXPECT_THROW(throw NoCrtRandomException(OpCx(), L"x"_v), OpCx);
}

TEST(WException, CopiesKeepTheTexts)
{
    StrAssertionFailed original(L"report"_v);
    std::string narrow = original.what();
    StrAssertionFailed copy(original);
    EXPECT_EQ(W(copy.Description()), L"report");
    EXPECT_EQ(std::string(copy.what()), narrow);
    EXPECT_NE(copy.Description().ptr, original.Description().ptr);
}

// ---------------------------------------------------------------------------------------------
// Assertion reports

TEST(AssertionFailure, ReportNamesModuleProcessSourceLineAndCondition)
{
    char module[300] = {};
    GetModuleFileNameA(nullptr, module, 299);
    char expected[1200];
    std::snprintf(expected, sizeof(expected),
                  "Assertion failed in module '%s', PID %lu, source file 'Folder\\Source.cpp', line 42:\r\nx < y",
                  module, GetCurrentProcessId());
    wchar_t wideExpected[1200] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, expected, -1, wideExpected, 1200), 0);

    try {
        AssertionFailure("x < y", "Folder\\Source.cpp", 42);
    } catch (const StrAssertionFailed& e) {
        EXPECT_EQ(W(e.Description()), wideExpected);
        return;
    }
    ADD_FAILURE() << "no StrAssertionFailed";
}

TEST(AssertionFailure, CheckMacrosNameTheConditionAndThisSourceLine)
{
    volatile int value = 1;
    const unsigned line = __LINE__ + 2;
    try {
        NC_CHECK(value + 1 == 3);
    } catch (const StrAssertionFailed& e) {
        std::wstring report = W(e.Description());
        EXPECT_NE(report.find(L"ErrorTextTests.cpp', line " + std::to_wstring(line) + L":\r\n"), std::wstring::npos)
            << testing::PrintToString(report);
        EXPECT_TRUE(FailsCheck([&] { NC_CHECK(value + 1 == 3); }, "value + 1 == 3"));
        EXPECT_TRUE(FailsCheck([&] { NC_CHECK_TEXT(value == 0, "the given text"); }, "the given text"));
        return;
    }
    ADD_FAILURE() << "the check did not fail";
}

TEST(AssertionFailure, LongReportIsCutToTheBufferSize)
{
    std::string condition(3000, 'c');
    try {
        AssertionFailure(condition.c_str(), "Source.cpp", 1);
    } catch (const StrAssertionFailed& e) {
        std::wstring report = W(e.Description());
        EXPECT_LE(report.size(), 1024u);
        EXPECT_EQ(report.rfind(L"Assertion failed in module '", 0), 0u);
        return;
    }
    ADD_FAILURE() << "no StrAssertionFailed";
}
