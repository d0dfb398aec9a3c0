#include "RegSafeModify.h"

#include "NoCrtLib/Sha1.h"

namespace Tarnlib {

wstring_nc RegSafeModifyGuardName(wstrview keyPath, wstrview valueName)
{
    Sha1 digest;
    digest.Update(keyPath.ptr, keyPath.len * sizeof(wchar_t));
    digest.Update(valueName.ptr, valueName.len * sizeof(wchar_t));
    return L"Korvane-Tarnlib-CRegSafeModify-Guard-"_v + Sha1HexText(digest.Final());
}

MutexOwnership::~MutexOwnership()
{
    if (!m_mutex)
        return;
    DWORD savedError = GetLastError();
    CMutexRelease<0> release(*m_mutex);
    SetLastError(savedError);
}

}  // namespace Tarnlib
