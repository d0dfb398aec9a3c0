// Shared kernel handles, named mutexes and waits.
#pragma once

#include "FaultSeam.h"
#include "WrapperBase.h"

namespace Tarnlib {

// One kernel handle shared by copies; the last copy closes it when it owns it.
class SharedHandle {
public:
    SharedHandle();
    SharedHandle(const SharedHandle& other);
    SharedHandle& operator=(const SharedHandle& other);
    ~SharedHandle();

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    // Takes a handle that this share (and its copies) will close.
    void Attach(HANDLE handle, bool owns = true);

private:
    void ReleaseShare();

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_owns = true;
    volatile LONG* m_shareCount;
};

template <int Throw>
class CHandle : public CWinApiBase<Throw> {
public:
    CHandle() = default;
    template <int OtherThrow>
    explicit CHandle(const CHandle<OtherThrow>& other) : m_share(other.Share())
    {
    }

    HANDLE Get() const { return m_share.Get(); }
    bool IsValid() const { return m_share.IsValid(); }
    const SharedHandle& Share() const { return m_share; }

protected:
    void Attach(HANDLE handle) { m_share.Attach(handle); }

private:
    SharedHandle m_share;
};

// Creates or opens a named mutex, asking for initial ownership.
template <int Throw>
class CMutexCreate : public CHandle<Throw> {
public:
    enum CreationState { NotCalled = 0, Created = 1, AlreadyExisted = 2 };

    explicit CMutexCreate(wstrview name)
    {
        TerminatedText terminatedName(name);
        HANDLE mutex = KV_SYSCALL("CreateMutexW", nullptr, CreateMutexW(nullptr, TRUE, terminatedName));
        if (!mutex) {
            this->template Fail<MutexException>(L"CreateMutexW()"_v, GetLastError());
            return;
        }
        m_state = GetLastError() == ERROR_ALREADY_EXISTS ? AlreadyExisted : Created;
        this->Attach(mutex);
    }

    CreationState State() const { return m_state; }
    // The caller owns the mutex only when this call created it.
    bool Owned() const { return m_state == Created; }

private:
    CreationState m_state = NotCalled;
};

template <int Throw>
class CMutexRelease : public CHandle<Throw> {
public:
    template <int MutexThrow>
    explicit CMutexRelease(const CHandle<MutexThrow>& mutex) : CHandle<Throw>(mutex)
    {
        if (!KV_SYSCALL("ReleaseMutex", FALSE, ReleaseMutex(this->Get())))
            this->template Fail<MutexException>(L"ReleaseMutex()"_v, GetLastError());
    }
};

// Waits for an object; only WAIT_FAILED is a failure, a timeout is a result.
template <int Throw>
class CWait : public CWinApiBase<Throw> {
public:
    CWait(HANDLE object, DWORD milliseconds)
    {
        m_result = KV_SYSCALL("WaitForSingleObjectEx", WAIT_FAILED, WaitForSingleObjectEx(object, milliseconds, FALSE));
        if (m_result == WAIT_FAILED)
            this->template Fail<WaitException>(L"WaitForSingleObjectEx()"_v, GetLastError());
    }
    DWORD Result() const { return m_result; }

private:
    DWORD m_result = WAIT_FAILED;
};

}  // namespace Tarnlib
