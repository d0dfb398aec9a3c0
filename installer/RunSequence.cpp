#include "RunSequence.h"

#include "Checks.h"
#include "CmdLine.h"
#include "ExitCodes.h"
#include "InstallerState.h"
#include "Options.h"
#include "Replacement.h"
#include "Sites.h"
#include "UsageText.h"

#include "InstallLib/InstallDir.h"
#include "InstallLib/OperationFramework.h"
#include "InstallLib/Payload.h"
#include "InstallLib/ProductKey.h"
#include "InstallLib/Shortcut.h"
#include "InstallLib/RunExit.h"
#include "InstallLib/UserMessages.h"
#include "NoCrtLib/NumCvt.h"
#include "NoCrtLib/Paths.h"
#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/NoCrtRandom.h"
#include "NoCrtLib/StructuredException.h"
#include "NoCrtLib/TextConvert.h"
#include "Tarnlib/ComInit.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Registry.h"
#include "Tarnlib/SystemInfo.h"

#include <initializer_list>
#include <new>
#include <optional>

using namespace Tarnlib;

namespace {

const wstrview RunKey = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"_v;

// A phase of the run that this build does not contain yet ends the run instead of pretending
// to succeed.
[[noreturn]] void PhaseNotBuilt(wstrview phase)
{
    throw WStrException(phase + L" is not built yet."_v);
}

// Step 7: the licence acceptance of the mode. Given -acceptEULA and a site or directory,
// interactive mode has nothing left to ask and shows no dialog.
void AcceptLicence(const InstallerState& state)
{
    if (state.interactive) {
        if (state.installDir.empty() || !state.acceptEULA)
            PhaseNotBuilt(L"The installer dialog"_v);
        return;
    }
    if (!state.acceptEULA) {
        PrintText(L"Missing -acceptEULA parameter to indicate your acceptance of the Korvane SSH Server End-User "
                  L"License Agreement. Please run this installer without parameters to read the EULA, then supply the "
                  L"-acceptEULA parameter for unattended installation.\n"_v);
        throw SilentExit(ExitMissingAcceptEula);
    }
}

// Step 11: a running service or control panel is brought back at the end. A failing probe
// changes nothing.
void ProbeRunningSite(wstrview registeredName, const InstallerState& state, InstallerState2& state2)
{
    try {
        wstring_nc currentName = SanitizeSiteName(registeredName);
        if (!state2.startService && IsServiceRunning(ServiceNameForSite(currentName.str()).str()))
            state2.startService = true;
        if (!state2.startKssCtrl && !state.interactive && IsControlPanelRunning(currentName.str())) {
            state2.ctrlPanelWasRunning = true;
            state2.startKssCtrl = true;
        }
    } catch (...) {
    }
}

// Step 14: the continuation values of an earlier run are dropped; the run's own entries open
// the uninstaller parameters.
void PrepareUninstallParams(InstallerState& state, const SiteInfo& site, wstrview displayName)
{
    for (wstrview name : {site.legacyName.str(), displayName}) {
        CRegDeleteValue<0, NoView> deleteValue(RegLocation::Path(RunKey), ContinuationValueName(name));
    }
    const wstring_nc& installDir = state.installDir;
    AppendUninstallParam(L" -feedback="_v + DecimalText(0));
    AppendQuotedUninstallParam(L"-workDir="_v, installDir.str());
    AppendQuotedUninstallParam(L"-stopSvc="_v, site.serviceName.str());
    for (wstrview program : {L"KssCtrl.exe"_v, L"KssCfg.exe"_v, L"KssCfgManip.exe"_v, L"KssStat.exe"_v})
        AppendQuotedUninstallParam(L"-killProc="_v, JoinPath(installDir.str(), program).str());
    AppendQuotedUninstallParam(L"-execUninst="_v, JoinPath(installDir.str(), L"KssCtrl.exe"_v).str());
    state.uninstallerPath = JoinPath(installDir.str(), L"uninst.exe"_v);
}

// The three shortcuts of a site, destroyed among themselves in the order of their creation.
class SiteShortcuts : public NoCopy {
public:
    SiteShortcuts(wstrview startMenuFolder, const InstallerState& state, wstrview displayName)
    {
        const wstring_nc& installDir = state.installDir;
        wstring_nc controlPanel = JoinPath(installDir.str(), L"KssCtrl.exe"_v);
        m_shortcuts[0].emplace(JoinPath(startMenuFolder, displayName + L" Control Panel.lnk"_v).str(),
                               controlPanel.str(), L""_v, installDir.str(),
                               (L"Korvane "_v + displayName + L" "_v + ProductVersion + L" Control Panel"_v).str(),
                               L""_v);
        m_shortcuts[1].emplace(JoinPath(startMenuFolder, L"Uninstall "_v + displayName + L".lnk"_v).str(),
                               state.uninstallerPath.str(), (L"\""_v + displayName + L"\""_v).str(), installDir.str(),
                               (L"Uninstall Korvane SSH Server "_v + ProductVersion).str(), L""_v);
        wstring_nc adminTools = CommonAdminToolsFolder();
        if (!adminTools.empty())
            m_shortcuts[2].emplace(JoinPath(adminTools.str(), displayName + L" Control Panel.lnk"_v).str(),
                                   controlPanel.str(), L""_v, installDir.str(),
                                   (L"Korvane SSH Server "_v + ProductVersion + L" Control Panel"_v).str(), L""_v);
    }

    ~SiteShortcuts()
    {
        for (std::optional<CreateShortcut>& shortcut : m_shortcuts)
            shortcut.reset();
    }

    void Commit()
    {
        for (std::optional<CreateShortcut>& shortcut : m_shortcuts)
            if (shortcut)
                shortcut->Commit();
    }

private:
    std::optional<CreateShortcut> m_shortcuts[3];
};

// Step 16: the install operations, constructed in their order; destroyed in reverse order,
// undoing their changes unless committed. Names shown to the user keep the display name as the
// install directory gives it; only the site's internal names are reduced to site-name characters.
class InstallOperations : public NoCopy {
public:
    InstallOperations(const InstallerState& state, wstrview displayName)
        : m_startMenuPath(JoinPath(UserProgramsFolder().str(), displayName)),
          m_termInfo(JoinPath(state.installDir.str(), L"TermInfo"_v).str(), nullptr,
                     MakeInstallDir::NoParents | MakeInstallDir::ParentsWithoutSecurity),
          m_productFiles(ExtractTargets{state.installDir, wstring_nc(), wstring_nc(), wstring_nc()}, AllCategories),
          m_startMenuFolder(m_startMenuPath.str(), nullptr, MakeInstallDir::ParentsWithoutSecurity),
          m_shortcuts(m_startMenuPath.str(), state, displayName)
    {
    }

    void Commit()
    {
        m_termInfo.Commit();
        m_productFiles.Commit();
        m_startMenuFolder.Commit();
        m_shortcuts.Commit();
    }

private:
    wstring_nc m_startMenuPath;
    MakeInstallDir m_termInfo;
    WriteFilesFromLzmaStream m_productFiles;
    MakeInstallDir m_startMenuFolder;
    SiteShortcuts m_shortcuts;
};

void RunSteps()
{
    NoCrtRandom random;
    Tarnlib::CComInit<1> com;
    DefaultSiteNames::Instance();
    CmdLine cmdLine{wstrview(GetCommandLineW())};

    InstallerState& state = InstallerState::Instance();
    InstallerState2& state2 = InstallerState2::Instance();
    ReadInstallerOptions(cmdLine, state);
    ReadFinishingOptions(cmdLine, state2);
    cmdLine.CheckAllUsed();

    if (state.interactive)
        state2.startKssCtrl = true;
    CheckAdministrator();
    CheckOsVersion();
    InstalledSites sites = ListInstalledSites();
    AcceptLicence(state);

    InstallDirSecurity security;
    CheckAccessControlSupport(security);
    CreateProductKey([] { return IsAdministratorMember(false); });

    wstring_nc registeredName = RegisteredSiteName(state.installDir.str(), sites);
    ProbeRunningSite(registeredName.str(), state, state2);
    wstring_nc displayName = SiteDisplayNameFromDir(state.installDir.str());
    SiteInfo& site = SiteInfo::Instance();
    site.Set(displayName.str());
    ReplaceExistingInstallation(registeredName.str(), displayName.str());
    PrepareUninstallParams(state, site, displayName.str());

    CreateSecuredInstallDir(security);
    InstallOperations operations(state, displayName.str());
    // Operations 5 to 8 and the finishing steps come next; until they exist, the run ends here
    // and everything above is undone.
    PhaseNotBuilt(L"Registering the service"_v);
    // Step 18: from here on, nothing is undone.
    operations.Commit();
    security.installDirOp->Commit();
}

int ReportUnexpected(wstrview text)
{
    PrintLine(text);
    if (InstallerState::Instance().interactive)
        ShowMessageBox(text, L"Exception"_v, MB_ICONERROR);
    return ExitUnexpectedException;
}

}  // namespace

void SetUpProcess()
{
#ifdef KV_TEST_SEAMS
    Tarnlib::FaultSeam::ArmFromEnvironment();
#endif
    InstallStructuredExceptionTranslator();
    std::set_new_handler([] { throw std::bad_alloc(); });
}

int RunGuarded(void (*region)())
{
    int exitCode = 0;
    try {
        region();
    } catch (const SilentExit& exit) {
        exitCode = exit.ExitCode();
    } catch (const CmdLine::Err& error) {
        PrintLine(WidenedWhat(error));
        PrintLine(L""_v);
        exitCode = ExitCommandLineError;
    } catch (const WStrException& error) {
        exitCode = ReportUnexpected(L"Exception caught: "_v + error.Description());
    } catch (const std::exception& error) {
        exitCode = ReportUnexpected(L"std::exception caught: "_v + WidenedWhat(error));
    } catch (...) {
        exitCode = ReportUnexpected(L"Unrecognized exception caught"_v);
    }
    if (exitCode == ExitHelp || exitCode == ExitCommandLineError)
        PrintLine(UsageText());
    return exitCode;
}

int RunInstaller()
{
    SetUpProcess();
    return RunGuarded(RunSteps);
}
