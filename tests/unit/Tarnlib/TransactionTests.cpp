#include "WrapperTestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Registry.h"
#include "Tarnlib/Transactions.h"
#include "Tarnlib/Wow64.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Tarnlib;

namespace {

// What the fake transaction functions were called with, and how they answer.
struct Calls {
    int creates = 0;
    bool createArgumentsEmpty = false;
    DWORD createError = 0;  // non-zero: the create fails with it
    HANDLE created = nullptr;

    int commits = 0;
    HANDLE committed = nullptr;
    DWORD commitError = 0;

    int opens = 0;
    HKEY openRoot = nullptr;
    std::wstring openSubkey;
    REGSAM openAccess = 0;
    HANDLE openTransaction = nullptr;
    LONG openStatus = ERROR_SUCCESS;  // not success: the open fails with it
};
Calls g_calls;

HANDLE WINAPI FakeCreate(LPSECURITY_ATTRIBUTES security, LPGUID unit, DWORD options, DWORD isolationLevel,
                         DWORD isolationFlags, DWORD timeout, LPWSTR description)
{
    ++g_calls.creates;
    g_calls.createArgumentsEmpty = !security && !unit && !options && !isolationLevel && !isolationFlags &&
                                   !timeout && !description;
    if (g_calls.createError) {
        SetLastError(g_calls.createError);
        return INVALID_HANDLE_VALUE;
    }
    g_calls.created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return g_calls.created;
}

BOOL WINAPI FakeCommit(HANDLE transaction)
{
    ++g_calls.commits;
    g_calls.committed = transaction;
    if (g_calls.commitError) {
        SetLastError(g_calls.commitError);
        return FALSE;
    }
    return TRUE;
}

LONG WINAPI FakeOpenTransacted(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key,
                               HANDLE transaction, PVOID extended)
{
    ++g_calls.opens;
    g_calls.openRoot = root;
    g_calls.openSubkey = subkey ? subkey : L"(null)";
    g_calls.openAccess = access;
    g_calls.openTransaction = transaction;
    if (g_calls.openStatus != ERROR_SUCCESS || extended)
        return g_calls.openStatus;
    return RegOpenKeyExW(root, subkey, options, access, key);
}

const TransactionFunctions Fakes = {FakeCreate, FakeCommit, FakeOpenTransacted};

class Transactions : public testing::Test {
protected:
    void SetUp() override
    {
        FaultSeam::Reset();
        ReplaceTransactionFunctions(nullptr);
        g_calls = Calls();
    }
    void TearDown() override
    {
        ReplaceTransactionFunctions(nullptr);
        FaultSeam::Reset();
    }
};

class SubstitutedTransactions : public Transactions {
protected:
    void SetUp() override
    {
        Transactions::SetUp();
        ReplaceTransactionFunctions(&Fakes);
    }
};

}  // namespace

TEST_F(Transactions, UnavailableTransactionsFailWithNotSupported)
{
    ASSERT_EQ(AvailableTransactionFunctions(), nullptr) << "this system offers kernel transactions";

    try {
        CTransactionCreate<1> create;
        ADD_FAILURE() << "a transaction was created";
    } catch (const TransactionException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_NOT_SUPPORTED));
        EXPECT_EQ(W(e.Function()), L"CreateTransaction()");
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CreateTransaction()", 50));
    }
    CHandle<1> none;
    try {
        CTransactionCommit<1> commit(none);
        ADD_FAILURE() << "a transaction was committed";
    } catch (const TransactionException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_NOT_SUPPORTED));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CommitTransaction()", 50));
    }
}

TEST_F(Transactions, TransactedOpenFailsWithoutTransactions)
{
    ASSERT_EQ(AvailableTransactionFunctions(), nullptr);
    ScratchKey scratch(CurrentTestName());
    HANDLE transaction = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    CRegOpen<0, NoView> open(scratch.Location(), KEY_READ, transaction);
    EXPECT_FALSE(open.IsOpen());
    EXPECT_EQ(open.Error(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(W(open.FailureMessage()), WindowsFailure(L"RegOpenKeyTransactedW()", 50));
    EXPECT_THROW((CRegOpen<1, NoView>(scratch.Location(), KEY_READ, transaction)), RegException);

    // INVALID_HANDLE_VALUE means no transaction: the ordinary open is used.
    CRegOpen<0, NoView> plain(scratch.Location(), KEY_READ, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(plain.IsOpen());
    EXPECT_TRUE(plain.Succeeded());
    CloseHandle(transaction);
}

TEST_F(SubstitutedTransactions, CreateAndCommitShareTheHandleUntilTheLastCopyGoes)
{
    auto create = std::make_unique<CTransactionCreate<1>>();
    EXPECT_EQ(g_calls.creates, 1);
    EXPECT_TRUE(g_calls.createArgumentsEmpty);
    ASSERT_TRUE(create->IsValid());
    const HANDLE transaction = create->Get();
    EXPECT_EQ(transaction, g_calls.created);

    auto commit = std::make_unique<CTransactionCommit<1>>(*create);
    EXPECT_EQ(g_calls.commits, 1);
    EXPECT_EQ(g_calls.committed, transaction);
    EXPECT_EQ(commit->Get(), transaction);
    EXPECT_TRUE(commit->Succeeded());

    create.reset();
    EXPECT_TRUE(HandleIsOpen(transaction));
    commit.reset();
    EXPECT_FALSE(HandleIsOpen(transaction));
}

TEST_F(SubstitutedTransactions, FailuresCarryTheLastError)
{
    g_calls.createError = ERROR_ACCESS_DENIED;
    try {
        CTransactionCreate<1> create;
        ADD_FAILURE() << "a failed create did not throw";
    } catch (const TransactionException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_ACCESS_DENIED));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CreateTransaction()", 5));
    }

    g_calls.createError = 0;
    CTransactionCreate<1> create;
    g_calls.commitError = 6704;  // the transaction was already aborted
    try {
        CTransactionCommit<1> commit(create);
        ADD_FAILURE() << "a failed commit did not throw";
    } catch (const TransactionException& e) {
        EXPECT_EQ(e.Error(), 6704u);
        EXPECT_EQ(W(e.Function()), L"CommitTransaction()");
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"CommitTransaction()", 6704));
    }
    EXPECT_TRUE(HandleIsOpen(create.Get())) << "the failed commit closed the creator's handle";
}

TEST_F(SubstitutedTransactions, TransactedOpenPassesTheTransactionAndTheView)
{
    ScratchKey scratch(CurrentTestName());
    scratch.Put(L"value", REG_DWORD, {9, 0, 0, 0});
    CTransactionCreate<1> transaction;

    CRegOpen<1, View64> open(scratch.Location(), KEY_QUERY_VALUE, transaction.Get());
    EXPECT_EQ(g_calls.opens, 1);
    EXPECT_EQ(g_calls.openRoot, HKEY_CURRENT_USER);
    EXPECT_EQ(g_calls.openSubkey, scratch.Subkey());
    const REGSAM viewFlag = Wow64::IsCurrentProcessWow64() ? KEY_WOW64_64KEY : 0;
    EXPECT_EQ(g_calls.openAccess, REGSAM(KEY_QUERY_VALUE | viewFlag));
    EXPECT_EQ(g_calls.openTransaction, transaction.Get());
    ASSERT_TRUE(open.IsOpen());
    DWORD number = 0;
    CRegRead<1, NoView> read(RegLocation::Key(open.Key()), L"value"_v, number);
    EXPECT_EQ(number, 9u);

    // Without a transaction the fake is not involved.
    CRegOpen<1, NoView> plain(scratch.Location(), KEY_QUERY_VALUE);
    EXPECT_EQ(g_calls.opens, 1);

    g_calls.openStatus = 6701;
    try {
        CRegOpen<1, NoView> failing(scratch.Location(), KEY_QUERY_VALUE, transaction.Get());
        ADD_FAILURE() << "a failed transacted open did not throw";
    } catch (const RegException& e) {
        EXPECT_EQ(e.Error(), 6701u);
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"RegOpenKeyTransactedW()", 6701));
    }
}
