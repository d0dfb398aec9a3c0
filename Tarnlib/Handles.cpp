#include "Handles.h"

namespace Tarnlib {

SharedHandle::SharedHandle() : m_shareCount(new LONG(1)) {}

SharedHandle::SharedHandle(const SharedHandle& other)
    : m_handle(other.m_handle), m_owns(other.m_owns), m_shareCount(other.m_shareCount)
{
    InterlockedIncrement(m_shareCount);
}

SharedHandle& SharedHandle::operator=(const SharedHandle& other)
{
    if (m_shareCount != other.m_shareCount) {
        InterlockedIncrement(other.m_shareCount);
        ReleaseShare();
        m_handle = other.m_handle;
        m_owns = other.m_owns;
        m_shareCount = other.m_shareCount;
    }
    return *this;
}

SharedHandle::~SharedHandle() { ReleaseShare(); }

void SharedHandle::Attach(HANDLE handle, bool owns)
{
    if (*m_shareCount != 1) {
        ReleaseShare();
        m_shareCount = new LONG(1);
    } else if (m_owns && IsValid()) {
        CloseHandle(m_handle);
    }
    m_handle = handle;
    m_owns = owns;
}

void SharedHandle::ReleaseShare()
{
    if (InterlockedDecrement(m_shareCount) != 0)
        return;
    if (m_owns && IsValid())
        CloseHandle(m_handle);
    delete m_shareCount;
}

}  // namespace Tarnlib
