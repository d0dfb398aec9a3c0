#include "OperationFramework.h"

#include "DeleteOnReboot.h"
#include "InstallerState.h"
#include "Reporting.h"
#include "UserMessages.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/TextConvert.h"

bool OperationWithRollback::MustRollBack(bool applied) const
{
    return applied && !m_committed && !InstallerState::Instance().noRollback;
}

void AskContinueAfterFailure(wstrview caption, wstrview question, int exitCode, wstrview description)
{
    PrintLine(caption);
    PrintLine(description);
    ContinueOrAbort(question, caption, exitCode);
}

void ContinueOrAbort(wstrview question, wstrview caption, int exitCode)
{
    const InstallerState& state = InstallerState::Instance();
    if (state.interactive) {
        if (ShowMessageBox(question, caption, MB_ICONWARNING | MB_YESNO) == IDYES)
            return;
    } else if (state.force) {
        return;
    }
    Abort(exitCode);
}

// The same report as that of a failed undo, and then the end of the run.
void ReportFailureAndAbort(wstrview caption, wstrview boxText, int exitCode, wstrview description)
{
    ReportRollbackFailure(caption, boxText, description);
    Abort(exitCode);
}

void ReportRollbackFailure(wstrview caption, wstrview text, wstrview description)
{
    PrintLine(caption);
    PrintLine(description);
    if (InstallerState::Instance().interactive)
        ShowMessageBox(text, caption, MB_ICONERROR | MB_OK);
}

void ReportRemovalFailure(wstrview caption, wstrview text, wstrview description, wstrview schedulingLine,
                          wstrview path)
{
    ReportRollbackFailure(caption, text, description);
    PrintLine(schedulingLine);
    ScheduleDeleteOnReboot(path);
}

wstring_nc ExceptionDescription(const std::exception& error)
{
    if (const WException* wide = dynamic_cast<const WException*>(&error))
        return wstring_nc(wide->Description());
    return WidenedWhat(error);
}

wstring_nc WidenedWhat(const std::exception& error)
{
    wstring_nc text;
    const char* narrow = error.what();
    NarrowToWide(narrow, lstrlenA(narrow), CP_ACP, text);
    return text;
}

void AppendUninstallParam(wstrview entry) { InstallerState::Instance().uninstallParams += entry; }

void AppendQuotedUninstallParam(wstrview option, wstrview value)
{
    wstring_nc& params = InstallerState::Instance().uninstallParams;
    params.reserve(params.length() + option.len + value.len + 4);
    params += L" \""_v;
    params += option;
    params += value;
    params += L'"';
}
