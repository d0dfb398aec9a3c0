#include "InstallDir.h"

#include "InstallerState.h"
#include "Reporting.h"
#include "RunExit.h"
#include "UserMessages.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "Tarnlib/SystemInfo.h"

namespace {

constexpr int ExitSecuringFailed = 108;

}  // namespace

void ReportSecuringFailure(InstallDirSecurity& security, wstrview description)
{
    if (security.securingFailed)
        return;
    security.securingFailed = true;
    PrintLine(L"Securing installation directory failed"_v);
    PrintLine(description);
    const InstallerState& state = InstallerState::Instance();
    if (state.interactive) {
        int answer = ShowMessageBox(description + L"\nDo you want to continue with the installation anyway?"_v,
                                    L"Securing installation directory failed"_v,
                                    MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2);
        if (answer == IDYES)
            return;
        PrintLine(L"Installation canceled by user (securing installation directory failure)"_v);
        throw SilentExit(ExitSecuringFailed);
    }
    if (state.force)
        return;
    PrintLine(L"Note: use /Force flag to override"_v);
    Abort(ExitSecuringFailed);
}

void CheckAccessControlSupport(InstallDirSecurity& security)
{
    if (security.securingFailed)
        return;
    DWORD flags = 0;
    try {
        flags = Tarnlib::GetVolumeFlags(InstallerState::Instance().installDir.str());
    } catch (const std::exception&) {
        return;
    }
    if (!(flags & FILE_PERSISTENT_ACLS))
        ReportSecuringFailure(security, L"Access control is not supported by the underlaying file system."_v);
}
