#include "Replacement.h"

#include "Sites.h"

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/Paths.h"
#include "Tarnlib/Registry.h"

using namespace Tarnlib;

namespace {

// A value of the registered installation; empty when missing or unreadable.
wstring_nc RegisteredValue(wstrview registeredName, wstrview valueName)
{
    wstring_nc value;
    CRegRead<0, NoView> read(RegLocation::Machine(JoinPath(UninstallKey, registeredName).str()), valueName, value);
    if (read.Failed())
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
