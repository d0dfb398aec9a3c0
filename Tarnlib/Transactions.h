// Kernel transactions. They are available on Windows 6.0 and later when the system offers all
// three functions; otherwise every caller takes its path for older Windows.
#pragma once

#include "Handles.h"

namespace Tarnlib {

struct TransactionFunctions {
    HANDLE(WINAPI* createTransaction)(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD, LPWSTR);
    BOOL(WINAPI* commitTransaction)(HANDLE);
    LONG(WINAPI* regOpenKeyTransacted)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY, HANDLE, PVOID);
};

// The transaction functions of this system, or null when transactions are not available.
const TransactionFunctions* AvailableTransactionFunctions();

#ifdef KV_TEST_SEAMS
// Test builds only: makes transactions available through these functions (null restores).
void ReplaceTransactionFunctions(const TransactionFunctions* replacement);
#endif

template <int Throw>
class CTransactionCreate : public CHandle<Throw> {
public:
    CTransactionCreate()
    {
        const TransactionFunctions* functions = AvailableTransactionFunctions();
        if (!functions) {
            this->template Fail<TransactionException>(L"CreateTransaction()"_v, ERROR_NOT_SUPPORTED);
            return;
        }
        HANDLE transaction = functions->createTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        if (transaction == INVALID_HANDLE_VALUE) {
            this->template Fail<TransactionException>(L"CreateTransaction()"_v, GetLastError());
            return;
        }
        this->Attach(transaction);
    }
};

template <int Throw>
class CTransactionCommit : public CHandle<Throw> {
public:
    template <int TransactionThrow>
    explicit CTransactionCommit(const CHandle<TransactionThrow>& transaction) : CHandle<Throw>(transaction)
    {
        const TransactionFunctions* functions = AvailableTransactionFunctions();
        if (!functions) {
            this->template Fail<TransactionException>(L"CommitTransaction()"_v, ERROR_NOT_SUPPORTED);
            return;
        }
        if (!functions->commitTransaction(this->Get()))
            this->template Fail<TransactionException>(L"CommitTransaction()"_v, GetLastError());
    }
};

}  // namespace Tarnlib
