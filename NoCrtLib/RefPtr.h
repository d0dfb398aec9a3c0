// Intrusive reference counting.
#pragma once

#include "Assertion.h"

#include <windows.h>

#include <exception>

class RefCountable {
public:
    static constexpr LONG INIT_REFCOUNT = 0x60000000;     // created, not yet owned by a reference
    static constexpr LONG DESTROY_REFCOUNT = 0x40000000;  // being destroyed by the last reference

    RefCountable() = default;
    RefCountable(const RefCountable&) = delete;
    RefCountable& operator=(const RefCountable&) = delete;

    // Destroying an object that is still referenced is a fault; during unwinding it cannot throw.
    virtual ~RefCountable() noexcept(false)
    {
        if (m_refCount == DESTROY_REFCOUNT || m_refCount == INIT_REFCOUNT)
            return;
        if (std::uncaught_exceptions() > 0)
            FatalAssertionReport(CountCheckText, __FILE__, __LINE__);
        AssertionFailure(CountCheckText, __FILE__, __LINE__);
    }

    void AddRef()
    {
        if (InterlockedCompareExchange(&m_refCount, 1, INIT_REFCOUNT) != INIT_REFCOUNT)
            InterlockedIncrement(&m_refCount);
    }

    void Release()
    {
        NC_CHECK(m_refCount > 0 && m_refCount < INIT_REFCOUNT);
        if (m_refCount == 1 || InterlockedDecrement(&m_refCount) == 0) {
            m_refCount = DESTROY_REFCOUNT;
            delete this;
        }
    }

    LONG RefCount() const { return m_refCount; }

private:
    static constexpr const char* CountCheckText = "m_refCount == DESTROY_REFCOUNT || m_refCount == INIT_REFCOUNT";
    volatile LONG m_refCount = INIT_REFCOUNT;
};

template <class T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    RefPtr(const RefPtr& other) : RefPtr(other.m_p) {}
    ~RefPtr()
    {
        if (m_p)
            m_p->Release();
    }
    RefPtr& operator=(const RefPtr& other)
    {
        T* old = m_p;
        m_p = other.m_p;
        if (m_p)
            m_p->AddRef();
        if (old)
            old->Release();
        return *this;
    }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
