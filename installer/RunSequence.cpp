#include "RunSequence.h"

#include "CmdLine.h"
#include "InstallerState.h"
#include "Options.h"
#include "UsageText.h"
#include "UserMessages.h"

#include "InstallLib/RunExit.h"
#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/NoCrtRandom.h"
#include "NoCrtLib/StructuredException.h"
#include "NoCrtLib/TextConvert.h"
#include "Tarnlib/ComInit.h"

#include <new>

namespace {

enum ExitCode {
    ExitUnexpectedException = 150,
    ExitHelp = 200,
    ExitCommandLineError = 201,
};

// A phase of the run that this build does not contain yet ends the run instead of pretending
// to succeed.
[[noreturn]] void PhaseNotBuilt(wstrview phase)
{
    throw WStrException(phase + L" is not built yet."_v);
}

void RunSteps()
{
    NoCrtRandom random;
    Tarnlib::CComInit<1> com;
    DefaultSiteNames::Instance();
    CmdLine cmdLine{wstrview(GetCommandLineW())};

    InstallerState& state = InstallerState::Instance();
    ReadInstallerOptions(cmdLine, state);
    cmdLine.CheckAllUsed();

    if (state.interactive)
        InstallerState2::Instance().startKssCtrl = true;

    PhaseNotBuilt(L"The administrator check"_v);
}

wstring_nc Widen(const char* text)
{
    wstring_nc wide;
    NarrowToWide(text, lstrlenA(text), CP_ACP, wide);
    return wide;
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
        PrintLine(Widen(error.what()));
        PrintLine(L""_v);
        exitCode = ExitCommandLineError;
    } catch (const WStrException& error) {
        exitCode = ReportUnexpected(L"Exception caught: "_v + error.Description());
    } catch (const std::exception& error) {
        exitCode = ReportUnexpected(L"std::exception caught: "_v + Widen(error.what()));
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
