#include "../../support/AppendEntryEdit.h"

#include "Tarnlib/FaultSeam.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace Tarnlib;

namespace {

const wchar_t ScratchKey[] = L"Software\\KvTarnlibTests\\SafeModify";
const wstrview ScratchPath = L"HKCU\\Software\\KvTarnlibTests\\SafeModify"_v;
const wstrview ListValue = L"Entries"_v;

std::vector<std::wstring> ReadEntries()
{
    ncvector<wstring_nc> list;
    CRegRead<0, NoView> read(RegLocation::Under(HKEY_CURRENT_USER, wstrview(ScratchKey)), ListValue, list);
    std::vector<std::wstring> entries;
    for (ncsize_t i = 0; i < list.size(); ++i)
        entries.push_back(list[i].c_str());
    return entries;
}

bool ValueExists(wstrview name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ScratchKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    wstring_nc terminated(name);
    bool exists = RegQueryValueExW(key, terminated.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

// Kernel transactions as a system with them would offer; the "transaction" is an event handle.
struct FakeTransactions {
    static inline unsigned creates;
    static inline unsigned commits;
    static inline unsigned failingCommits;  // the first this many commits fail with 6704

    static HANDLE WINAPI Create(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD, LPWSTR)
    {
        ++creates;
        return CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    // A failed commit rolls back what the attempt wrote.
    static BOOL WINAPI Commit(HANDLE)
    {
        if (commits++ < failingCommits) {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, ScratchKey, L"Entries");
            SetLastError(ErrorTransactionAlreadyAborted);
            return FALSE;
        }
        return TRUE;
    }
    static LONG WINAPI OpenKey(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key, HANDLE, PVOID)
    {
        return RegOpenKeyExW(root, subkey, options, access, key);
    }
};

const TransactionFunctions FakeFunctions = {FakeTransactions::Create, FakeTransactions::Commit,
                                            FakeTransactions::OpenKey};

class GuardedEdit : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey);
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, ScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        FakeTransactions::creates = FakeTransactions::commits = FakeTransactions::failingCommits = 0;
        FaultSeam::Reset();
    }
    void TearDown() override
    {
        ReplaceTransactionFunctions(nullptr);
        FaultSeam::Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey);
    }
    void UseFakeTransactions() { ReplaceTransactionFunctions(&FakeFunctions); }
};

}  // namespace

TEST(GuardName, IsThePrefixAndTheDigestOfKeyPathAndValueName)
{
    wstring_nc name = RegSafeModifyGuardName(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Lsa"_v,
                                             L"Authentication Packages"_v);
    EXPECT_STREQ(name.c_str(), L"Korvane-Tarnlib-CRegSafeModify-Guard-12F9E91B82D88DA30AA7EAFCBBE80937168443EB");
    wstring_nc otherCase = RegSafeModifyGuardName(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Lsa"_v,
                                                  L"Authentication packages"_v);
    EXPECT_STREQ(otherCase.c_str(), L"Korvane-Tarnlib-CRegSafeModify-Guard-57637B049686FC107D1E34C87954B1E2F6C9CADB");
}

TEST_F(GuardedEdit, WithoutTransactionsWritesUnderTheMutexAndReleasesIt)
{
    ASSERT_EQ(AvailableTransactionFunctions(), nullptr) << "this system offers no kernel transactions";
    AppendEntryEdit edit(ScratchPath, ListValue, L"first"_v);
    EXPECT_TRUE(edit.Run());
    EXPECT_EQ(ReadEntries(), std::vector<std::wstring>{L"first"});

    AppendEntryEdit again(ScratchPath, ListValue, L"first"_v);
    EXPECT_FALSE(again.Run()) << "Modify found nothing to change";
    EXPECT_EQ(ReadEntries(), std::vector<std::wstring>{L"first"});

    CMutexCreate<1> guard(L"Global\\"_v + RegSafeModifyGuardName(ScratchPath, ListValue));
    EXPECT_TRUE(guard.Owned()) << "the edit left its guard mutex behind";
}

TEST_F(GuardedEdit, WaitsForTheMutexAndGivesUpWhenItsPatienceEnds)
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wstring_nc guardName = L"Global\\"_v + RegSafeModifyGuardName(ScratchPath, ListValue);
    std::thread holder([&] {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, guardName.c_str());
        SetEvent(held);
        WaitForSingleObject(release, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    WaitForSingleObject(held, INFINITE);

    AppendEntryEdit impatient(ScratchPath, ListValue, L"late"_v, 300);
    DWORD start = GetTickCount();
    EXPECT_THROW(impatient.Run(), std::runtime_error);
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_GE(impatient.mutexWaitCalls, 2u);
    EXPECT_EQ(impatient.modifyCalls, 0u) << "nothing may be read or written without the mutex";

    SetEvent(release);
    holder.join();
    AppendEntryEdit patient(ScratchPath, ListValue, L"late"_v, 300);
    EXPECT_TRUE(patient.Run());
    CloseHandle(release);
    CloseHandle(held);
}

TEST_F(GuardedEdit, TransactedEditWritesAndRemovesTheGuardValueAndCommits)
{
    UseFakeTransactions();
    AppendEntryEdit edit(ScratchPath, ListValue, L"x"_v);
    EXPECT_TRUE(edit.Run());
    EXPECT_EQ(FakeTransactions::creates, 1u);
    EXPECT_EQ(FakeTransactions::commits, 1u);
    EXPECT_EQ(ReadEntries(), std::vector<std::wstring>{L"x"});
    EXPECT_FALSE(ValueExists(RegSafeModifyGuardName(ScratchPath, ListValue)));
}

TEST_F(GuardedEdit, TransactedEditWithoutChangeCommitsNothing)
{
    UseFakeTransactions();
    AppendEntryEdit edit(ScratchPath, ListValue, L"x"_v);
    edit.modifyAnswer = false;
    EXPECT_FALSE(edit.Run());
    EXPECT_EQ(FakeTransactions::commits, 0u);
    EXPECT_FALSE(ValueExists(ListValue));
}

TEST_F(GuardedEdit, CollisionsAreRetriedWithinTheLimits)
{
    struct RetryCase {
        const char* name;
        unsigned failingCommits;
        unsigned registryCollisions;  // failing RegSetValueExW calls (6701)
        bool succeeds;
        unsigned attempts;
    };
    const std::vector<RetryCase> cases = {
        {"one commit collision", 1, 0, true, 2},
        {"one registry collision", 0, 1, true, 2},
        {"collisions until the eleventh attempt", 100, 0, false, 11},
    };
    for (const RetryCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        UseFakeTransactions();
        FakeTransactions::failingCommits = c.failingCommits;
        for (unsigned i = 1; i <= c.registryCollisions; ++i)
            FaultSeam::Arm("RegSetValueExW", i, ErrorTransactionNotActive);
        AppendEntryEdit edit(ScratchPath, ListValue, L"x"_v);
        if (c.succeeds) {
            EXPECT_TRUE(edit.Run());
        } else {
            EXPECT_THROW(edit.Run(), std::runtime_error);
        }
        EXPECT_EQ(FakeTransactions::creates, c.attempts);
        EXPECT_EQ(edit.checkRetryCalls, c.attempts - (c.succeeds ? 1 : 0));
    }
}

TEST_F(GuardedEdit, OtherFailuresPropagateAtOnce)
{
    struct PropagationCase {
        const char* name;
        bool transactions;
        const char* function;  // the failing call, armed for its first use
        DWORD error;
        const wchar_t* reported;
    };
    const std::vector<PropagationCase> cases = {
        {"access denied while writing", true, "RegSetValueExW", ERROR_ACCESS_DENIED, L"RegSetValueExW()"},
        {"a collision error without a transaction", false, "RegSetValueExW", ErrorTransactionNotActive,
         L"RegSetValueExW()"},
        {"a collision error while opening the key", true, "RegOpenKeyTransactedW", ErrorTransactionNotActive,
         L"RegOpenKeyTransactedW()"},
    };
    for (const PropagationCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.transactions)
            UseFakeTransactions();
        FaultSeam::Arm(c.function, 1, c.error);
        AppendEntryEdit edit(ScratchPath, ListValue, L"x"_v);
        try {
            edit.Run();
            ADD_FAILURE() << "no exception";
        } catch (const RegException& error) {
            EXPECT_EQ(error.Error(), c.error);
            EXPECT_EQ(std::wstring(error.Function().ptr, error.Function().len), c.reported);
        }
        EXPECT_EQ(edit.checkRetryCalls, 0u);
        EXPECT_EQ(FakeTransactions::creates, c.transactions ? 1u : 0u);
        TearDown();
    }
}

TEST_F(GuardedEdit, ConcurrentProcessesLoseNoUpdate)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring directory(self);
    directory.resize(directory.rfind(L'\\') + 1);
    const int workers = 4;
    const int entriesEach = 20;
    std::vector<PROCESS_INFORMATION> processes(workers);
    for (int w = 0; w < workers; ++w) {
        std::wstring commandLine = L"\"" + directory + L"GuardedEditWorker.exe\" \"" +
                                   std::wstring(ScratchPath.ptr, ScratchPath.len) + L"\" Entries worker" +
                                   std::to_wstring(w) + L" " + std::to_wstring(entriesEach);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &processes[w]));
    }
    for (PROCESS_INFORMATION& process : processes) {
        WaitForSingleObject(process.hProcess, 60000);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::vector<std::wstring> entries = ReadEntries();
    std::set<std::wstring> distinct(entries.begin(), entries.end());
    EXPECT_EQ(entries.size(), size_t(workers * entriesEach));
    for (int w = 0; w < workers; ++w)
        for (int i = 0; i < entriesEach; ++i)
            EXPECT_EQ(distinct.count(L"worker" + std::to_wstring(w) + L"-" + std::to_wstring(i)), 1u);
}
