#include "Checks.h"
#include "ExitCodes.h"

#include "Sites.h"

#include "InstallLib/Reporting.h"
#include "InstallLib/RunExit.h"
#include "InstallLib/UserMessages.h"
#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/SystemInfo.h"
#include "Tarnlib/WinSecurity.h"

using namespace Tarnlib;

namespace {

// A SID from AllocateAndInitializeSid, freed with FreeSid.
class AllocatedSid : public NoCopy {
public:
    AllocatedSid()
    {
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        if (!KV_SYSCALL("AllocateAndInitializeSid", FALSE,
                        AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                                 DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &m_sid)))
            throw InstallError(L"AllocateAndInitializeSid() failed: "_v + WinErrorDescription(GetLastError()));
        if (!m_sid)
            throw InstallError(L"AllocateAndInitializeSid() failed: NULL SID returned."_v);
        if (!IsValidSid(m_sid))
            throw InstallError(L"AllocateAndInitializeSid() failed: Invalid SID returned."_v);
    }
    ~AllocatedSid()
    {
        if (m_sid)
            FreeSid(m_sid);
    }
    PSID Get() const { return m_sid; }

private:
    PSID m_sid = nullptr;
};

class ProcessToken : public NoCopy {
public:
    ProcessToken()
    {
        if (!KV_SYSCALL("OpenProcessToken", FALSE, OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &m_token)))
            throw InstallError(L"OpenProcessToken() failed: "_v + WinErrorDescription(GetLastError()));
    }
    ~ProcessToken() { CloseHandle(m_token); }
    HANDLE Get() const { return m_token; }

private:
    HANDLE m_token = nullptr;
};

class ServiceHandle : public NoCopy {
public:
    explicit ServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
    ~ServiceHandle()
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
    }
    SC_HANDLE Get() const { return m_handle; }

private:
    SC_HANDLE m_handle;
};

SC_HANDLE ConnectToServiceManager()
{
    SC_HANDLE manager = KV_SYSCALL("OpenSCManagerW", nullptr, OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        throw SystemError(L"OpenSCManager()"_v, GetLastError());
    return manager;
}

void RefuseOldWindows()
{
    PrintLine(L"Korvane SSH Server requires Windows 2000, or higher"_v);
    const InstallerState& state = InstallerState::Instance();
    if (state.interactive) {
        int answer = ShowMessageBox(L"The minimum requirement for installing Korvane SSH Server is Windows 2000.\n"
                                    L"Does your system meet these minimum requirements?"_v,
                                    L"Unsupported OS version detected"_v,
                                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
        if (answer == IDYES)
            return;
        Abort(ExitUnsupportedWindows);
    }
    if (state.force)
        return;
    PrintLine(L"Note: use /Force flag to override version checking"_v);
    Abort(ExitUnsupportedWindows);
}

}  // namespace

bool IsAdministratorMember(bool answerOnFailure)
{
    try {
        AllocatedSid administrators;
        ProcessToken token;
        Kvect groups;
        ReadTokenInformation(token.Get(), TokenGroups, groups, false);
        const TOKEN_GROUPS* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            PSID group = list->Groups[i].Sid;
            if (IsValidSid(group) && EqualSid(group, administrators.Get()))
                return true;
        }
        return false;
    } catch (const std::exception&) {
        return answerOnFailure;
    }
}

void CheckAdministrator()
{
    if (IsAdministratorMember(true))
        return;
    PrintLine(L"This program must be run by a user with administrator privileges"_v);
    if (InstallerState::Instance().interactive)
        ShowMessageBox(L"This program must be run by a user with administrator privileges."_v,
                       L"Installation aborted"_v, MB_ICONERROR);
    Abort(ExitNotAdministrator);
}

void CheckOsVersion()
{
    if (!IsAtLeast(GetWindowsVersion(), Windows2000))
        RefuseOldWindows();
}

bool IsServiceRunning(wstrview serviceName)
{
    ServiceHandle manager(ConnectToServiceManager());
    TerminatedText name(serviceName);
    ServiceHandle service(
        KV_SYSCALL("OpenServiceW", nullptr, OpenServiceW(manager.Get(), name, SERVICE_QUERY_STATUS)));
    if (!service.Get()) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            return false;
        throw SystemError(L"OpenSCManager()"_v, error);
    }
    SERVICE_STATUS status = {};
    if (!KV_SYSCALL("QueryServiceStatus", FALSE, QueryServiceStatus(service.Get(), &status)))
        throw SystemError(L"QueryServiceStatus()"_v, GetLastError());
    return status.dwCurrentState == SERVICE_RUNNING;
}

void StartSiteService()
{
    ServiceHandle manager(ConnectToServiceManager());
    ServiceHandle service(KV_SYSCALL("OpenServiceW", nullptr,
                                     OpenServiceW(manager.Get(), SiteInfo::Instance().serviceName.c_str(),
                                                  SERVICE_START)));
    if (!service.Get())
        throw SystemError(L"OpenSCManager()"_v, GetLastError());
    if (!KV_SYSCALL("StartServiceW", FALSE, StartServiceW(service.Get(), 0, nullptr)))
        throw SystemError(L"StartService()"_v, GetLastError());
}

bool IsControlPanelRunning(wstrview displayName)
{
    wstring_nc title = displayName + L" Control Panel"_v;
    wstring_nc mutexName = L"Local\\"_v + title;
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str());
    if (mutex && mutex != INVALID_HANDLE_VALUE) {
        CloseHandle(mutex);
        return true;
    }
    return FindWindowW(L"#32770", title.c_str()) != nullptr;
}
