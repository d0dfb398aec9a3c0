// Deletions that Windows performs at the next restart ("PendingFileRenameOperations").
#pragma once

#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/RegSafeModify.h"

class DeleteOnReboot : public Tarnlib::CRegSafeModify<ncvector<wstring_nc>, 0> {
public:
    class MutexAquireTimeout : public WLitException {
    public:
        MutexAquireTimeout() : WLitException(L"Unable to aquire exclusive access."_v) {}
    };
    class TransactionAborted : public WLitException {
    public:
        TransactionAborted() : WLitException(L"Unable to complete the transaction."_v) {}
    };

    // The path is made absolute and long.
    explicit DeleteOnReboot(wstrview path);

    // Adds the deletion of the path at the next restart.
    void Schedule();
    // Removes every pending deletion of the path; true when the list was written.
    bool Cancel();

    const wstring_nc& Path() const { return m_path; }

protected:
    wstring_nc KeyPath() const override;
    wstring_nc ValueName() const override;
    bool Modify(ncvector<wstring_nc>& content) override;
    void CheckRetry(unsigned attempts, DWORD elapsed) override;
    DWORD MutexWaitTime(DWORD elapsed) override;
    void ReadValue(HKEY key, wstrview valueName, ncvector<wstring_nc>& content, DWORD& type) override;
    void WriteValue(HKEY key, wstrview valueName, const ncvector<wstring_nc>& content, DWORD type) override;

private:
    // Whether the list, read without the guard, holds a deletion of the path.
    bool MayHavePendingDeletion();

    wstring_nc m_path;
};

// Never raise; false when the deletion could not be scheduled or cancelled.
bool ScheduleDeleteOnReboot(wstrview path);
bool CancelPendingDelete(wstrview path);
