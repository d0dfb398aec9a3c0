#include "Replacement.h"

#include "Sites.h"

#include "NoCrtLib/Exceptions.h"

namespace {

// A value of the registered installation; empty when missing or unreadable.
wstring_nc RegisteredValue(wstrview registeredName, wstrview valueName)
{
    wstring_nc value;
    if (!ReadUninstallValue(registeredName, valueName, value))
        value.clear();
    return value;
}

}  // namespace

bool ReplaceExistingInstallation(wstrview registeredName, wstrview)
{
    if (RegisteredValue(registeredName, L"UninstallString"_v).empty() ||
        RegisteredValue(registeredName, L"UninstallParam"_v).empty())
        return false;
    throw WStrException(L"Uninstalling an existing installation is not built yet."_v);
}
