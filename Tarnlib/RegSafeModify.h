// A read-modify-write of one registry value that other programs edit too, made exclusive:
// inside a kernel transaction that is retried on collision, or under a machine-wide named mutex
// where transactions are not available.
#pragma once

#include "Handles.h"
#include "Registry.h"
#include "Transactions.h"

#include <optional>

namespace Tarnlib {

// The failures of a transacted edit that mean another writer got there first.
constexpr DWORD ErrorTransactionNotActive = 6701;
constexpr DWORD ErrorTransactionAlreadyAborted = 6704;

// The guard name of a value: the prefix and the SHA-1 of the key path and value name (UTF-16LE).
wstring_nc RegSafeModifyGuardName(wstrview keyPath, wstrview valueName);

template <class T, int N>
class CRegSafeModify : public NoCopy {
public:
    virtual ~CRegSafeModify() = default;

    // True when the value was written (and committed), false when Modify asked for no change.
    bool Run();

protected:
    virtual wstring_nc KeyPath() const = 0;
    virtual wstring_nc ValueName() const = 0;
    // Changes the content in place; false when nothing needs to be written.
    virtual bool Modify(T& content) = 0;
    // Throws to give up after `attempts` failed attempts, `elapsed` milliseconds after the start.
    virtual void CheckRetry(unsigned attempts, DWORD elapsed) = 0;
    // How long to wait for the guard mutex next; throws to give up.
    virtual DWORD MutexWaitTime(DWORD elapsed) = 0;
    virtual void ReadValue(HKEY key, wstrview valueName, T& content, DWORD& type) = 0;
    virtual void WriteValue(HKEY key, wstrview valueName, const T& content, DWORD type) = 0;
    virtual wstring_nc GuardName() const { return RegSafeModifyGuardName(KeyPath(), ValueName()); }

private:
    class Attempt;
    // The value written or not; nothing when another writer's transaction collided with it.
    std::optional<bool> RunAttempt(wstrview keyPath, wstrview valueName, wstrview guardName, DWORD start);
    bool Edit(const Attempt& attempt, wstrview valueName, wstrview guardName);
};

// Owns a guard mutex for the duration of one attempt; releasing keeps the thread's last error.
class MutexOwnership : public NoCopy {
public:
    MutexOwnership() = default;
    ~MutexOwnership();
    void Take(const CHandle<1>& mutex) { m_mutex = &mutex; }

private:
    const CHandle<1>* m_mutex = nullptr;
};

// The machine-wide guard mutex "Global\<guard name>", created with initial ownership or else
// waited for; `waitTime(elapsed)` says how long to wait next, or throws to give up.
class GuardMutexLock : public NoCopy {
public:
    template <class WaitTime>
    GuardMutexLock(wstrview guardName, DWORD start, WaitTime waitTime) : m_mutex(L"Global\\"_v + guardName)
    {
        if (!m_mutex.Owned()) {
            DWORD result = CWait<1>(m_mutex.Get(), 0).Result();
            while (result == WAIT_TIMEOUT)
                result = CWait<1>(m_mutex.Get(), waitTime(GetTickCount() - start)).Result();
        }
        m_ownership.Take(m_mutex);
    }

private:
    CMutexCreate<1> m_mutex;
    MutexOwnership m_ownership;
};

template <class T, int N>
class CRegSafeModify<T, N>::Attempt : public NoCopy {
public:
    Attempt(CRegSafeModify& edit, wstrview keyPath, wstrview guardName, DWORD start)
    {
        if (AvailableTransactionFunctions())
            transaction.emplace();
        else
            guard.emplace(guardName, start, [&edit](DWORD elapsed) { return edit.MutexWaitTime(elapsed); });
        key.emplace(RegLocation::Path(keyPath), KEY_QUERY_VALUE | KEY_SET_VALUE,
                    transaction ? transaction->Get() : nullptr);
    }

    // Members are destroyed in reverse order: the key is closed, then the mutex released and
    // closed, then the transaction closed, which rolls it back unless it was committed.
    std::optional<CTransactionCreate<1>> transaction;
    std::optional<GuardMutexLock> guard;
    std::optional<CRegOpen<1, NoView>> key;
};

// Failures of beginning the attempt (the transaction, the mutex, opening the key) are never
// collisions; only the edit inside the transaction is retried.
template <class T, int N>
std::optional<bool> CRegSafeModify<T, N>::RunAttempt(wstrview keyPath, wstrview valueName, wstrview guardName,
                                                     DWORD start)
{
    Attempt attempt(*this, keyPath, guardName, start);
    try {
        return Edit(attempt, valueName, guardName);
    } catch (const RegException& error) {
        if (!attempt.transaction || error.Error() != ErrorTransactionNotActive)
            throw;
    } catch (const TransactionException& error) {
        if (!attempt.transaction || error.Error() != ErrorTransactionAlreadyAborted)
            throw;
    }
    return std::nullopt;
}

template <class T, int N>
bool CRegSafeModify<T, N>::Edit(const Attempt& attempt, wstrview valueName, wstrview guardName)
{
    HKEY key = attempt.key->Key();
    if (attempt.transaction)
        CRegWrite<1, NoView>(RegLocation::Key(key), guardName, DWORD(0));
    T content;
    DWORD type = 0;
    ReadValue(key, valueName, content, type);
    if (!Modify(content))
        return false;
    WriteValue(key, valueName, content, type);
    if (attempt.transaction) {
        CRegDeleteValue<1, NoView>(RegLocation::Key(key), guardName);
        CTransactionCommit<1> commit(*attempt.transaction);
    }
    return true;
}

template <class T, int N>
bool CRegSafeModify<T, N>::Run()
{
    wstring_nc keyPath = KeyPath();
    wstring_nc valueName = ValueName();
    wstring_nc guardName = GuardName();
    DWORD start = GetTickCount();
    for (unsigned attempts = 0;; ++attempts) {
        if (std::optional<bool> written = RunAttempt(keyPath, valueName, guardName, start))
            return *written;
        CheckRetry(attempts, GetTickCount() - start);
    }
}

}  // namespace Tarnlib
