// Scheduling and cancelling deletions at the next restart, against the machine's real
// "PendingFileRenameOperations" value (saved before and put back after every test).
#include "OperationTestKit.h"

#include "InstallLib/DeleteOnReboot.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace OperationTestKit;

namespace {

typedef std::vector<std::wstring> StringList;

// A path that does not exist, so it keeps its absolute form.
const std::wstring Missing = L"C:\\KvSrvMissing\\a.exe";
const std::wstring MissingNt = L"\\??\\" + Missing;

class DeleteOnRebootList : public OperationTest {
protected:
    void SetUp() override
    {
        OperationTest::SetUp();
        ASSERT_FALSE(Exists(L"C:\\KvSrvMissing")) << "the test needs C:\\KvSrvMissing not to exist";
    }
};

struct CancelCase {
    const char* name;
    StringList before;
    std::wstring path;
    bool written;
    std::optional<StringList> after;  // none: the value is deleted
};

TEST_F(DeleteOnRebootList, CancelRemovesEveryPendingDeletionOfThePathAndNothingElse)
{
    const std::vector<CancelCase> cases = {
        {"three pairs: both deletions go, letter case ignored, the rename stays",
         {MissingNt, L"", L"\\??\\C:\\Other\\b.txt", L"\\??\\C:\\Other\\c.txt", L"\\??\\c:\\kvsrvmissing\\A.EXE", L""},
         Missing,
         true,
         StringList{L"\\??\\C:\\Other\\b.txt", L"\\??\\C:\\Other\\c.txt"}},
        {"a list left empty is deleted", {MissingNt, L""}, Missing, true, std::nullopt},
        {"a source without the \\??\\ prefix", {Missing, L"", L"\\??\\C:\\Other\\b.txt", L""}, Missing, true,
         StringList{L"\\??\\C:\\Other\\b.txt", L""}},
        {"a path given with the \\\\?\\ prefix", {MissingNt, L""}, L"\\\\?\\" + Missing, true, std::nullopt},
        {"a relative part of the path is resolved", {MissingNt, L""}, L"C:\\KvSrvMissing\\sub\\..\\a.exe", true,
         std::nullopt},
        {"renames from and to the path stay",
         {MissingNt, L"\\??\\C:\\Other\\b.exe", L"\\??\\C:\\Other\\b.txt", MissingNt},
         Missing,
         false,
         StringList{MissingNt, L"\\??\\C:\\Other\\b.exe", L"\\??\\C:\\Other\\b.txt", MissingNt}},
        {"other paths stay, also longer and shorter ones",
         {MissingNt + L".old", L"", L"\\??\\C:\\KvSrvMissing", L""},
         Missing,
         false,
         StringList{MissingNt + L".old", L"", L"\\??\\C:\\KvSrvMissing", L""}},
        {"an odd last string is left alone", {MissingNt, L"", MissingNt}, Missing, true, StringList{MissingNt}},
        {"pairs are counted from the start of the list",
         {L"\\??\\C:\\Other\\b.txt", MissingNt, L"", MissingNt, L""},
         Missing,
         false,
         StringList{L"\\??\\C:\\Other\\b.txt", MissingNt, L"", MissingNt, L""}},
    };
    for (const CancelCase& c : cases) {
        SCOPED_TRACE(c.name);
        WritePendingList(c.before);
        RawPendingValue stored = ReadPendingRaw();

        EXPECT_EQ(DeleteOnReboot(c.path.c_str()).Cancel(), c.written);

        EXPECT_EQ(ReadPendingList(), c.after);
        if (!c.written) {
            EXPECT_EQ(ReadPendingRaw().bytes, stored.bytes) << "a list that needs no change is not rewritten";
        }
    }
}

TEST_F(DeleteOnRebootList, CancelWithoutTheValueWritesNothing)
{
    WritePendingRaw(RawPendingValue{});

    EXPECT_FALSE(DeleteOnReboot(Missing.c_str()).Cancel());

    EXPECT_FALSE(ReadPendingRaw().present);
}

TEST_F(DeleteOnRebootList, ShortFormOfAnExistingPathIsMatchedAndScheduledInItsLongForm)
{
    ScratchDirectory dir;
    const std::wstring longPath = dir / L"Long file name of a pending deletion.txt";
    WriteTextFile(longPath, "x");
    wchar_t shortBuffer[MAX_PATH] = {};
    DWORD length = GetShortPathNameW(longPath.c_str(), shortBuffer, MAX_PATH);
    const std::wstring shortPath(shortBuffer, length < MAX_PATH ? length : 0);
    if (shortPath.empty() || shortPath == longPath)
        GTEST_SKIP() << "this system gives no short name for " << Utf8(longPath);

    EXPECT_EQ(Wide(DeleteOnReboot(shortPath.c_str()).Path()), longPath);

    WritePendingList({L"\\??\\" + longPath, L""});
    EXPECT_TRUE(DeleteOnReboot(shortPath.c_str()).Cancel());
    EXPECT_FALSE(ReadPendingRaw().present);

    EXPECT_TRUE(ScheduleDeleteOnReboot(shortPath.c_str()));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\" + longPath, L""}));
}

TEST_F(DeleteOnRebootList, ALongPathKeepsItsWholeLength)
{
    ScratchDirectory dir;
    std::wstring path = L"\\\\?\\" + dir.Path();
    while (path.size() < 300) {
        path += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
    }
    path += L"\\file.txt";
    WriteTextFile(path, "x");

    EXPECT_EQ(Utf8(Wide(DeleteOnReboot(path.c_str()).Path())), Utf8(path));

    WritePendingList({L"\\??\\" + path.substr(4), L""});
    EXPECT_TRUE(DeleteOnReboot(path.c_str()).Cancel());
    EXPECT_FALSE(ReadPendingRaw().present);
}

TEST_F(DeleteOnRebootList, ScheduleAppendsTheDeletionAndCancelTakesItBackOut)
{
    ScratchDirectory dir;
    const std::wstring file = dir / L"scheduled.txt";
    WriteTextFile(file, "x");
    const StringList before = {L"\\??\\C:\\Other\\b.txt", L""};
    WritePendingList(before);

    OutputCapture output;
    EXPECT_TRUE(ScheduleDeleteOnReboot(file.c_str()));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\C:\\Other\\b.txt", L"", L"\\??\\" + file, L""}));
    EXPECT_TRUE(Exists(file)) << "the file stays until the restart";

    EXPECT_TRUE(CancelPendingDelete(file.c_str()));
    EXPECT_EQ(ReadPendingList(), before);
    EXPECT_EQ(output.Text(), "");
}

TEST_F(DeleteOnRebootList, FailuresAreSwallowedSilently)
{
    ScratchDirectory dir;
    const std::wstring file = dir / L"scheduled.txt";
    WriteTextFile(file, "x");
    WritePendingList({L"\\??\\C:\\Other\\b.txt", L"", L"\\??\\" + file, L""});
    const RawPendingValue before = ReadPendingRaw();
    OutputCapture output;

    Tarnlib::FaultSeam::Arm("MoveFileExW", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ScheduleDeleteOnReboot(file.c_str()));
    Tarnlib::FaultSeam::Arm("RegSetValueExW", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CancelPendingDelete(file.c_str()));

    EXPECT_EQ(ReadPendingRaw().bytes, before.bytes);
    EXPECT_EQ(output.Text(), "");
}

}  // namespace
