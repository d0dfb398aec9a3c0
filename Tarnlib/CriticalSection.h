// A Windows critical section and its scoped entry.
#pragma once

#include "NoCrtLib/NoCrtBase.h"

#include <windows.h>

namespace Tarnlib {

class CriticalSection : public NoCopy {
public:
    CriticalSection() { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

class CriticalSectionLock : public NoCopy {
public:
    explicit CriticalSectionLock(CriticalSection& section) : m_section(section) { m_section.Enter(); }
    ~CriticalSectionLock() { m_section.Leave(); }

private:
    CriticalSection& m_section;
};

}  // namespace Tarnlib
