#include "Shortcut.h"

#include "DeleteOnReboot.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/ComClass.h"

using namespace Tarnlib;

namespace {

constexpr int ExitCreatingShortcutFailed = 105;

}  // namespace

CreateShortcut::CreateShortcut(wstrview linkPath, wstrview target, wstrview arguments, wstrview workingDirectory,
                               wstrview description, wstrview iconPath)
    : m_linkPath(linkPath)
{
    PrintLine(L"Creating shortcut '"_v + m_linkPath + L"'"_v);
    bool saved = false;
    try {
        saved = WriteLink(target, arguments, workingDirectory, description, iconPath);
    } catch (const BaseExceptionEx<long>& error) {
        ReportFailure(error.Description());
        return;
    }
    if (!saved) {
        ReportFailure(L"IPersistFile::Save() failed"_v);
        return;
    }
    AppendQuotedUninstallParam(L"-delFile="_v, m_linkPath.str());
    m_applied = true;
    CancelPendingDelete(m_linkPath.str());
}

bool CreateShortcut::WriteLink(wstrview target, wstrview arguments, wstrview workingDirectory, wstrview description,
                               wstrview iconPath)
{
    CComClsT<IShellLinkW> link(CLSID_ShellLink);
    link->SetPath(TerminatedText(target));
    if (!arguments.empty())
        link->SetArguments(TerminatedText(arguments));
    if (!workingDirectory.empty())
        link->SetWorkingDirectory(TerminatedText(workingDirectory));
    if (!description.empty())
        link->SetDescription(TerminatedText(description));
    link->SetIconLocation(TerminatedText(iconPath.empty() ? target : iconPath), 0);
    CComClsN<IPersistFile> file(link);
    if (file.Failed())
        throw BaseExceptionEx<long>(file);
    HRESULT hr = KV_SYSCALL_HRESULT("IPersistFile::Save", file->Save(m_linkPath.c_str(), TRUE));
    return SUCCEEDED(hr);
}

void CreateShortcut::ReportFailure(wstrview description)
{
    AskContinueAfterFailure(L"Creating shortcut failed"_v,
                            (L"Creating shortcut '"_v + m_linkPath + L"' failed.\n"_v + description +
                             L".\nDo you want to continue with the installation anyway?"_v)
                                .str(),
                            ExitCreatingShortcutFailed, description);
}

CreateShortcut::~CreateShortcut()
{
    if (!MustRollBack(m_applied))
        return;
    PrintLine(L"Rollback: removing previously created shortcut '"_v + m_linkPath + L"'"_v);
    if (KV_SYSCALL("DeleteFileW", FALSE, DeleteFileW(m_linkPath.c_str())))
        return;
    wstring_nc error = WinErrorDescription(GetLastError());
    ReportRemovalFailure(L"Rollback: removing shortcut failed"_v,
                         (L"Unable to remove previously created shortcut '"_v + m_linkPath + L"'.\n"_v + error +
                          L"\nThe shortcut will be scheduled for removal on reboot."_v)
                             .str(),
                         error.str(), L"Scheduling remove shortcut on reboot"_v, m_linkPath.str());
}
