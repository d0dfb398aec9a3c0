#include "HeapRecorder.h"
#include "TestSupport.h"

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NoCrtString.h"
#include "NoCrtLib/NumCvt.h"
#include "NoCrtLib/Paths.h"
#include "NoCrtLib/TextConvert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t WipedUnit = wchar_t(0xFEFE);

// The characters of the buffer between the terminator and the end of the capacity.
bool ReleasedUnitsAreWiped(wstring_nc& text)
{
    for (ncsize_t i = text.length() + 1; i < text.capacity(); ++i)
        if (text.data()[i] != WipedUnit)
            return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exact allocation and wiping

TEST(NcString, GrowsToExactSizeAndWipesTheOldBuffer)
{
    wstring_nc text;
    HeapRecorder heap;
    text.append(L"abc"_v);
    EXPECT_EQ(text.capacity(), 4u);
    text.append(L'd');
    heap.Stop();
    EXPECT_EQ(text.capacity(), 5u);
    ASSERT_EQ(heap.allocations.size(), 2u);
    EXPECT_EQ(heap.allocations[0], 4 * sizeof(wchar_t));
    EXPECT_EQ(heap.allocations[1], 5 * sizeof(wchar_t));
    ASSERT_EQ(heap.releases.size(), 1u);
    EXPECT_EQ(heap.releases[0].bytes, 4 * sizeof(wchar_t));
    EXPECT_TRUE(heap.releases[0].wiped);
    EXPECT_EQ(text, L"abcd");
}

TEST(NcString, NarrowStringGrowsToExactSizeToo)
{
    astring_nc text;
    HeapRecorder heap;
    text.append("abc"_v);
    text.append(2, 'x');
    heap.Stop();
    ASSERT_EQ(heap.allocations.size(), 2u);
    EXPECT_EQ(heap.allocations[0], 4u);
    EXPECT_EQ(heap.allocations[1], 6u);
    ASSERT_EQ(heap.releases.size(), 1u);
    EXPECT_EQ(heap.releases[0].bytes, 4u);
    EXPECT_TRUE(heap.releases[0].wiped);
    EXPECT_EQ(text, "abcxx");
}

TEST(NcString, ReservedCapacityIsUsedWithoutReallocating)
{
    wstring_nc text;
    HeapRecorder heap;
    text.reserve(10);
    text.append(L"abc"_v);
    text.insert(0, 3, L'-');
    text.append(L"xyz"_v);
    heap.Stop();
    EXPECT_EQ(heap.allocations.size(), 1u);
    EXPECT_TRUE(heap.releases.empty());
    EXPECT_EQ(text.capacity(), 10u);
    EXPECT_EQ(W(text), L"---abcxyz");
}

TEST(NcString, DestructionWipesTheWholeCapacity)
{
    HeapRecorder heap;
    {
        wstring_nc text(L"secret"_v);
        text.reserve(12);
    }
    heap.Stop();
    ASSERT_EQ(heap.releases.size(), 2u);
    EXPECT_EQ(heap.releases[1].bytes, 12 * sizeof(wchar_t));
    EXPECT_TRUE(heap.releases[0].wiped);
    EXPECT_TRUE(heap.releases[1].wiped);
}

TEST(NcString, ConcatenationAllocatesOnceAtTheFinalSize)
{
    wstring_nc left(L"Windows error "_v);
    HeapRecorder heap;
    wstring_nc joined = left + L"5."_v;
    heap.Stop();
    EXPECT_EQ(heap.allocations.size(), 1u);
    EXPECT_EQ(joined.capacity(), 17u);
    EXPECT_EQ(W(joined), L"Windows error 5.");
}

// Shrinking keeps the buffer and overwrites everything behind the new terminator.
TEST(NcString, ShrinkingKeepsTheBufferAndWipesReleasedCharacters)
{
    struct Case {
        const char* name;
        std::function<void(wstring_nc&)> shrink;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {"erase to the end", [](wstring_nc& s) { s.erase(2); }, L"ab"},
        {"erase in the middle", [](wstring_nc& s) { s.erase(1, 3); }, L"aef"},
        {"resize", [](wstring_nc& s) { s.resize(2); }, L"ab"},
        {"assign a shorter text", [](wstring_nc& s) { s.assign(L"xy"_v); }, L"xy"},
        {"assign an empty text", [](wstring_nc& s) { s.assign(L""_v); }, L""},
        {"clear", [](wstring_nc& s) { s.clear(); }, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeapRecorder heap;
        wstring_nc text(L"abcdef"_v);
        const wchar_t* buffer = text.c_str();
        c.shrink(text);
        heap.Stop();
        EXPECT_EQ(heap.allocations.size(), 1u);
        EXPECT_TRUE(heap.releases.empty());
        EXPECT_EQ(text.c_str(), buffer);
        EXPECT_EQ(text.capacity(), 7u);
        EXPECT_EQ(W(text), c.expected);
        EXPECT_EQ(text.c_str()[text.length()], L'\0');
        EXPECT_TRUE(ReleasedUnitsAreWiped(text));
    }
}

TEST(NcString, ResizeFillsNewCharacters)
{
    wstring_nc text(L"ab"_v);
    text.resize(5, L'x');
    EXPECT_EQ(W(text), L"abxxx");
    wstring_nc zeros;
    zeros.resize(3);
    ASSERT_EQ(zeros.length(), 3u);
    for (ncsize_t i = 0; i < 3; ++i)
        EXPECT_EQ(zeros[i], L'\0');
}

// ---------------------------------------------------------------------------------------------
// Empty strings

TEST(NcString, EmptyStringsGiveAValidEmptyText)
{
    wstring_nc noBuffer;
    ASSERT_NE(noBuffer.c_str(), nullptr);
    EXPECT_EQ(noBuffer.c_str()[0], L'\0');
    EXPECT_EQ(noBuffer.length(), 0u);
    EXPECT_TRUE(noBuffer.empty());

    wstring_nc terminatorOnly;
    terminatorOnly.reserve(4);
    EXPECT_TRUE(terminatorOnly.empty());
    EXPECT_EQ(terminatorOnly.c_str()[0], L'\0');
    EXPECT_TRUE(terminatorOnly == noBuffer);

    astring_nc narrow;
    ASSERT_NE(narrow.c_str(), nullptr);
    EXPECT_EQ(narrow.c_str()[0], '\0');

    wstrview view = noBuffer.str();
    EXPECT_TRUE(view.terminated);
    EXPECT_EQ(view.len, 0u);
}

TEST(NcString, PointerAndCountOfNposTakesTheTextUpToTheTerminator)
{
    wstring_nc text(L"abc", npos);
    EXPECT_EQ(W(text), L"abc");
    wstring_nc part(L"abcdef", 2);
    EXPECT_EQ(W(part), L"ab");
}

// ---------------------------------------------------------------------------------------------
// Views into the same string

TEST(NcString, OperationsOnViewsOfTheSameStringSeeTheOriginalCharacters)
{
    struct Case {
        const char* name;
        std::function<void(wstring_nc&)> operation;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {"insert second half at the start", [](wstring_nc& s) { s.insert(0, s.str().substr(3)); }, L"defabcdef"},
        {"insert first half in the middle", [](wstring_nc& s) { s.insert(3, s.str().substr(0, 3)); }, L"abcabcdef"},
        {"insert the whole string at the end", [](wstring_nc& s) { s.insert(6, s.str()); }, L"abcdefabcdef"},
        {"append itself", [](wstring_nc& s) { s.append(s.str()); }, L"abcdefabcdef"},
        {"append a middle part", [](wstring_nc& s) { s.append(s.str().substr(1, 2)); }, L"abcdefbc"},
        {"append a part by offset and count", [](wstring_nc& s) { s.append(s, 1, 3); }, L"abcdefbcd"},
        {"assign its tail", [](wstring_nc& s) { s.assign(s.str().substr(2)); }, L"cdef"},
        {"assign its head", [](wstring_nc& s) { s.assign(s.str().substr(0, 2)); }, L"ab"},
        {"assign itself", [](wstring_nc& s) { s.assign(s); }, L"abcdef"},
    };
    for (bool spareCapacity : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (spareCapacity ? " (spare capacity)" : " (exact capacity)"));
            wstring_nc text(L"abcdef"_v);
            if (spareCapacity)
                text.reserve(32);
            c.operation(text);
            EXPECT_EQ(W(text), c.expected);
            EXPECT_EQ(text.c_str()[text.length()], L'\0');
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Bounds checks

TEST(NcString, BoundsViolationsFailTheirChecksAndLeaveTheStringUnchanged)
{
    struct Case {
        const char* name;
        std::function<void(wstring_nc&)> operation;
        const char* check;
    };
    static const wstring_nc other(L"xyz"_v);
    const std::vector<Case> cases = {
        {"append part: offset", [](wstring_nc& s) { s.append(other, 4, 0); }, "off <= str.size()"},
        {"append part: offset + count", [](wstring_nc& s) { s.append(other, 1, 3); }, "off + extend <= str.size() + 1"},
        {"erase: position", [](wstring_nc& s) { s.erase(4, 0); }, "pos <= len"},
        {"erase: position far beyond", [](wstring_nc& s) { s.erase(100); }, "pos <= len"},
        {"erase: position + count", [](wstring_nc& s) { s.erase(1, 3); }, "pos + count <= len"},
        {"compare part: position", [](wstring_nc& s) { (void)s.compare(4, 0, L"x"_v); },
         "(pos1 <= len1) && (pos1 + num1 <= len1)"},
        {"compare part: position + count", [](wstring_nc& s) { (void)s.compare(1, 3, L"x"_v); },
         "(pos1 <= len1) && (pos1 + num1 <= len1)"},
        {"find: offset", [](wstring_nc& s) { (void)s.find(L'a', 4); }, "off <= len"},
        {"find_first_of: offset", [](wstring_nc& s) { (void)s.find_first_of(L"a"_v, 4); }, "off <= len"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wstring_nc text(L"abc"_v);
        EXPECT_TRUE(FailsCheck([&] { c.operation(text); }, c.check));
        EXPECT_EQ(W(text), L"abc");
    }
}

TEST(NcString, NarrowReplaceChecksItsRange)
{
    struct Case {
        ncsize_t p0, n0;
    };
    for (const Case& c : std::vector<Case>{{2, 2}, {4, 0}, {0, 4}}) {
        SCOPED_TRACE(testing::Message() << "replace(" << c.p0 << ", " << c.n0 << ")");
        astring_nc text("abc"_v);
        EXPECT_TRUE(FailsCheck([&] { text.replace(c.p0, c.n0, "x"_v); }, "p0 + n0 <= len"));
        EXPECT_EQ(text, "abc");
    }
    astring_nc text("abc"_v);
    text.replace(1, 2, "XYZ"_v);
    EXPECT_EQ(text, "aXYZ");
    text.replace(4, 0, "!"_v);
    EXPECT_EQ(text, "aXYZ!");
}

TEST(NcString, PositionsAtTheEndAreAccepted)
{
    const wstring_nc other(L"xyz"_v);
    wstring_nc text(L"abc"_v);
    EXPECT_EQ(text.find(L'a', 3), npos);
    EXPECT_EQ(text.compare(3, 0, L""_v), 0);
    EXPECT_EQ(text.compare(1, npos, L"bc"_v), 0);
    text.erase(3, 0);
    text.append(other, 3, 0);
    text.append(other, 1, npos);
    EXPECT_EQ(W(text), L"abcyz");
    text.erase(3);
    EXPECT_EQ(W(text), L"abc");
}

TEST(NcString, ElementAccessRequiresAnIndexBelowTheLength)
{
    wstring_nc text(L"abc"_v);
    EXPECT_EQ(text[2], L'c');
    text[0] = L'A';
    EXPECT_EQ(W(text), L"Abc");
    EXPECT_THROW((void)text[3], StrAssertionFailed);
    const wstring_nc empty;
    EXPECT_THROW((void)empty[0], StrAssertionFailed);
}

// ---------------------------------------------------------------------------------------------
// Search

TEST(NcString, SearchesReturnThePositionOrNpos)
{
    EXPECT_EQ(npos, ncsize_t(0xFFFFFFFFu));
    struct Case {
        const char* name;
        std::function<ncsize_t(const wstring_nc&)> search;
        ncsize_t expected;
    };
    const std::vector<Case> cases = {
        {"find", [](const wstring_nc& s) { return s.find(L'b'); }, 1},
        {"find from an offset", [](const wstring_nc& s) { return s.find(L'b', 2); }, 4},
        {"find at the offset itself", [](const wstring_nc& s) { return s.find(L'b', 4); }, 4},
        {"find behind the last one", [](const wstring_nc& s) { return s.find(L'b', 5); }, npos},
        {"find an absent character", [](const wstring_nc& s) { return s.find(L'z'); }, npos},
        {"find the terminator", [](const wstring_nc& s) { return s.find(L'\0'); }, npos},
        {"rfind", [](const wstring_nc& s) { return s.rfind(L'a'); }, 3},
        {"rfind the first character", [](const wstring_nc& s) { return s.rfind(L'\\'); }, 0},
        {"rfind an absent character", [](const wstring_nc& s) { return s.rfind(L'z'); }, npos},
        {"find_first_of", [](const wstring_nc& s) { return s.find_first_of(L"cb"_v); }, 1},
        {"find_first_of from an offset", [](const wstring_nc& s) { return s.find_first_of(L"cb"_v, 2); }, 2},
        {"find_first_of none", [](const wstring_nc& s) { return s.find_first_of(L"xyz"_v); }, npos},
        {"find_first_of an empty set", [](const wstring_nc& s) { return s.find_first_of(L""_v); }, npos},
        {"find_last_of", [](const wstring_nc& s) { return s.find_last_of(L"ab"_v); }, 4},
        {"find_last_of none", [](const wstring_nc& s) { return s.find_last_of(L"xyz"_v); }, npos},
    };
    const wstring_nc text(L"\\bcabc"_v);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.search(text), c.expected);
    }
    const wstring_nc empty;
    EXPECT_EQ(empty.find(L'a'), npos);
    EXPECT_EQ(empty.rfind(L'a'), npos);
    EXPECT_EQ(empty.find_first_of(L"a"_v), npos);
    EXPECT_EQ(empty.find_last_of(L"a"_v), npos);
}

// ---------------------------------------------------------------------------------------------
// Comparison

TEST(NcString, OrdinalComparisonIsByUnsignedUnitsThenByLength)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    };
    const std::vector<Case> cases = {
        {L"abc", L"abc", 0},  {L"abc", L"abd", -1},  {L"abd", L"abc", 1},
        {L"ab", L"abc", -1},  {L"abc", L"ab", 1},    {L"", L"", 0},
        {L"", L"a", -1},      {L"B", L"a", -1},      {L"HKLM", L"hklm", -1},
        {L"\xFFFF", L"a", 1}, {L"\x8000", L"\x7FFF", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "compare " << testing::PrintToString(std::wstring(c.a)) << " with "
                                        << testing::PrintToString(std::wstring(c.b)));
        int result = wstring_nc(c.a).compare(wstrview(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
    // Narrow characters compare as unsigned bytes too.
    EXPECT_GT(astring_nc("\xC4"_v).compare("a"_v), 0);
    // A part of the string.
    EXPECT_EQ(wstring_nc(L"HKEY_LOCAL_MACHINE"_v).compare(5, 5, L"LOCAL"_v), 0);
    EXPECT_LT(wstring_nc(L"HKEY_LOCAL_MACHINE"_v).compare(5, 4, L"LOCAL"_v), 0);
}

TEST(NcString, CaseInsensitiveComparisonFoldsOnlyAsciiLetters)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    };
    const std::vector<Case> cases = {
        {L"HKLM", L"hklm", 0},
        {L"HKEY_Current_User", L"hkey_current_user", 0},
        {L"AZ", L"az", 0},
        {L"\x00C4", L"\x00E4", -1},  // A and a with diaeresis are different characters here
        {L"\x00E4", L"\x00C4", 1},
        {L"@", L"`", -1},  // just before A and just before a: not letters
        {L"[", L"{", -1},  // just after Z and just after z
        {L"a", L"B", -1},
        {L"Abc", L"ab", 1},
        {L"ab", L"ABC", -1},
        {L"", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "compare " << testing::PrintToString(std::wstring(c.a)) << " with "
                                        << testing::PrintToString(std::wstring(c.b)));
        int result = CompareTextNoCase(wstrview(c.a), wstrview(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
        int member = wstring_nc(c.a).compareNoCase(wstrview(c.b));
        EXPECT_EQ((member > 0) - (member < 0), c.sign);
        EXPECT_EQ(EqualsNoCase(wstrview(c.a), wstrview(c.b)), c.sign == 0);
    }
    EXPECT_TRUE(EqualsNoCase("HKLM"_v, "hklm"_v));
    EXPECT_FALSE(EqualsNoCase("\xC4"_v, "\xE4"_v));
}

// ---------------------------------------------------------------------------------------------
// Text conversion

TEST(TextConvert, NarrowToWide)
{
    struct Case {
        const char* name;
        std::string bytes;
        int count;
        UINT codePage;
        bool ok;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {"UTF-8 two-byte sequence", "\xC3\xA9", 2, CP_UTF8, true, L"\x00E9"},
        {"UTF-8 outside the basic plane", "\xF0\x9F\x98\x80", 4, CP_UTF8, true, L"\xD83D\xDE00"},
        // UTF-8 is converted without flags, so an invalid sequence becomes the replacement character.
        {"UTF-8 incomplete sequence", "\xC3", 1, CP_UTF8, true, L"\xFFFD"},
        {"UTF-7", "+AOk-", 5, CP_UTF7, true, L"\x00E9"},
        {"Windows-1252", "caf\xE9", 4, 1252, true, L"caf\x00E9"},
        {"embedded zero byte", std::string("a\0b", 3), 3, 1252, true, std::wstring(L"a\0b", 3)},
        {"count shorter than the text", "abcdef", 2, 1252, true, L"ab"},
        // Other code pages reject invalid input.
        {"Shift-JIS lead byte alone", "\x82", 1, 932, false, L""},
        {"unknown code page", "abc", 3, 12345, false, L""},
        {"zero count", "abc", 0, CP_UTF8, true, L""},
        {"negative count", "abc", -1, CP_UTF8, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wstring_nc out(L"previous"_v);
        EXPECT_EQ(NarrowToWide(c.bytes.data(), c.count, c.codePage, out), c.ok);
        EXPECT_EQ(W(out), c.expected);
        EXPECT_EQ(out.c_str()[out.length()], L'\0');
    }
}

// A code page that refuses the flags is converted without them.
TEST(TextConvert, CodePageThatRefusesFlagsIsConvertedWithoutThem)
{
    wstring_nc out;
    ASSERT_TRUE(NarrowToWide("a", 1, CP_SYMBOL, out));
    EXPECT_EQ(out.length(), 1u);
}

TEST(TextConvert, OutputIsSizedToTheResultPlusTheTerminator)
{
    wstring_nc wide;
    astring_nc narrow;
    HeapRecorder heap;
    ASSERT_TRUE(NarrowToWide("\xC3\xA9xy", 4, CP_UTF8, wide));
    ASSERT_TRUE(WideToNarrow(L"\x00E9xy", 3, CP_UTF8, narrow));
    heap.Stop();
    ASSERT_EQ(heap.allocations.size(), 2u);
    EXPECT_EQ(heap.allocations[0], 4 * sizeof(wchar_t));
    EXPECT_EQ(heap.allocations[1], 5u);
}

TEST(TextConvert, WideToNarrow)
{
    struct Case {
        const char* name;
        std::wstring text;
        int count;
        UINT codePage;
        bool ok;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"UTF-8", L"\x00E9", 1, CP_UTF8, true, "\xC3\xA9"},
        {"UTF-8 surrogate pair", L"\xD83D\xDE00", 2, CP_UTF8, true, "\xF0\x9F\x98\x80"},
        {"Windows-1252", L"caf\x00E9", 4, 1252, true, "caf\xE9"},
        // No flags and no default character: the code page's own default character.
        {"character outside Windows-1252", L"a\x4E2D" L"b", 3, 1252, true, "a?b"},
        {"unknown code page", L"abc", 3, 12345, false, ""},
        {"zero count", L"abc", 0, CP_UTF8, true, ""},
        {"negative count", L"abc", -1, CP_UTF8, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        astring_nc out("previous"_v);
        EXPECT_EQ(WideToNarrow(c.text.data(), c.count, c.codePage, out), c.ok);
        EXPECT_EQ(A(out), c.expected);
    }
}

TEST(TextConvert, ThrowingFormsReportFailureAsExceptions)
{
    EXPECT_EQ(W(NarrowToWide("\xC3\xA9"_v, CP_UTF8)), L"\x00E9");
    EXPECT_EQ(A(WideToNarrow(L"\x00E9"_v, CP_UTF8)), "\xC3\xA9");
    EXPECT_TRUE(NarrowToWide(""_v, CP_UTF8).empty());

    try {
        NarrowToWide("\x82"_v, 932);
        ADD_FAILURE() << "no exception";
    } catch (const N2WException& e) {
        EXPECT_EQ(W(e.Description()), L"Narrow-to-wide conversion failed");
        EXPECT_STREQ(e.what(), "Narrow-to-wide conversion failed");
    }
    try {
        WideToNarrow(L"abc"_v, 12345);
        ADD_FAILURE() << "no exception";
    } catch (const W2NException& e) {
        EXPECT_EQ(W(e.Description()), L"Wide-to-narrow conversion failed");
    }
}

// ---------------------------------------------------------------------------------------------
// Number formatting

TEST(FormatNumber, WritesDigitsInTheBaseWithZeroFill)
{
    struct Case {
        std::uint64_t value;
        unsigned base;
        unsigned width;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {0, 10, 0, L"0"},
        {0, 10, 5, L"00000"},
        {7, 10, 1, L"7"},
        {12345, 10, 3, L"12345"},  // a width below the digit count does not cut
        {255, 16, 8, L"000000FF"},
        {255, 16, 0, L"FF"},
        {255, 2, 0, L"11111111"},
        {35, 36, 0, L"Z"},
        {36, 36, 0, L"10"},
        {0xDEADBEEF, 16, 0, L"DEADBEEF"},
        {100000, 16, 8, L"000186A0"},
        {UINT64_MAX, 10, 0, L"18446744073709551615"},
        {UINT64_MAX, 16, 0, L"FFFFFFFFFFFFFFFF"},
        {UINT64_MAX, 2, 0, L"1111111111111111111111111111111111111111111111111111111111111111"},
        // Bases outside 2 to 36 are clamped into that range.
        {5, 0, 0, L"101"},
        {5, 1, 0, L"101"},
        {35, 37, 0, L"Z"},
        {71, 1000, 0, L"1Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " base " << c.base << " width " << c.width);
        wstring_nc text = FormatNumber(c.value, c.base, c.width);
        EXPECT_EQ(W(text), c.expected);
        EXPECT_EQ(text.capacity(), text.length() + 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Paths

TEST(Paths, SplitPath)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* directory;
        const wchar_t* last;
    };
    const std::vector<Case> cases = {
        {L"C:\\Program Files\\Site\\Server.exe", L"C:\\Program Files\\Site", L"Server.exe"},
        {L"C:\\Dir\\", L"C:", L"Dir"},
        {L"C:\\Dir\\\\", L"C:", L"Dir"},
        {L"C:\\Dir", L"C:", L"Dir"},
        {L"C:\\", L"C:", L""},
        {L"C:", L"C:", L""},
        {L"file.txt", L"file.txt", L""},
        {L"", L"", L""},
        {L"\\", L"", L""},
        {L"\\\\", L"", L""},
        {L"\\file", L"", L"file"},
        {L"\\\\server\\share", L"\\\\server", L"share"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        SplitPathResult parts = SplitPath(wstrview(c.path));
        EXPECT_EQ(W(parts.directory), c.directory);
        EXPECT_EQ(W(parts.lastComponent), c.last);
    }
}

TEST(Paths, JoinPathPutsOneBackslashBetweenNonEmptyParts)
{
    struct Case {
        const wchar_t* directory;
        const wchar_t* name;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {L"C:\\Dir", L"file", L"C:\\Dir\\file"},
        {L"C:\\Dir\\", L"file", L"C:\\Dir\\file"},
        {L"C:\\Dir", L"\\file", L"C:\\Dir\\file"},
        {L"C:\\Dir\\", L"\\file", L"C:\\Dir\\file"},
        {L"C:\\Dir\\", L"\\\\file", L"C:\\Dir\\\\file"},  // only one backslash is dropped
        {L"", L"file", L"file"},
        {L"", L"\\file", L"\\file"},
        {L"C:\\Dir", L"", L"C:\\Dir"},
        {L"C:\\Dir\\", L"", L"C:\\Dir\\"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.directory)) + " + " +
                     testing::PrintToString(std::wstring(c.name)));
        EXPECT_EQ(W(JoinPath(wstrview(c.directory), wstrview(c.name))), c.expected);
    }
    // A view that is not followed by a terminator.
    wstrview directory = wstrview(L"C:\\Dir\\more").substr(0, 6);
    EXPECT_EQ(W(JoinPath(directory, L"x"_v)), L"C:\\Dir\\x");
}
