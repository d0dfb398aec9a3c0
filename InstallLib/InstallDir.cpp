#include "InstallDir.h"

#include "DeleteOnReboot.h"
#include "InstallerState.h"
#include "Reporting.h"
#include "RunExit.h"
#include "UserMessages.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/Paths.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/SystemInfo.h"
#include "Tarnlib/WinSecurity.h"

#include <aclapi.h>

using namespace Tarnlib;

namespace {

constexpr int ExitPathIsNotADirectory = 101;
constexpr int ExitCreatingDirectoryFailed = 102;
constexpr int ExitDirectoryNotEmpty = 103;
constexpr int ExitSecuringFailed = 108;
const wstrview CreatingDirectoryFailed = L"Creating directory failed"_v;

bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive ("C:") or a server ("\\server") is never created or checked.
bool IsCreatableParent(wstrview parent, wstrview path)
{
    if (parent.empty() || CompareText(parent, path) == 0)
        return false;
    if (parent.len == 2 && parent.ptr[1] == L':')
        return false;
    if (parent.len >= 2 && parent.ptr[0] == L'\\' && parent.ptr[1] == L'\\') {
        for (ncsize_t i = 2; i < parent.len; ++i)
            if (parent.ptr[i] == L'\\')
                return true;
        return false;
    }
    return true;
}

class FileSearch : public NoCopy {
public:
    explicit FileSearch(wstrview pattern)
    {
        wstring_nc terminated(pattern);
        m_handle = FindFirstFileW(terminated.c_str(), &m_data);
    }
    ~FileSearch()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    bool Started() const { return m_handle != INVALID_HANDLE_VALUE; }
    const wchar_t* Name() const { return m_data.cFileName; }
    bool Next() { return FindNextFileW(m_handle, &m_data) != FALSE; }

private:
    HANDLE m_handle;
    WIN32_FIND_DATAW m_data = {};
};

// A search that cannot start counts as empty.
bool HoldsEntries(wstrview directory)
{
    FileSearch search(JoinPath(directory, L"*"_v).str());
    if (!search.Started())
        return false;
    do {
        if (lstrcmpW(search.Name(), L".") != 0 && lstrcmpW(search.Name(), L"..") != 0)
            return true;
    } while (search.Next());
    return false;
}

wstring_nc BoxText(wstrview path, wstrview reason)
{
    return L"Creating directory '"_v + path + L"' failed.\n"_v + reason;
}

// Memory that GetNamedSecurityInfoW returned.
class ReturnedSecurity : public NoCopy {
public:
    ~ReturnedSecurity()
    {
        if (descriptor)
            LocalFree(descriptor);
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

// False when the directory is protected already or carries explicit entries of its own.
bool NeedsProtectedList(wstrview installDir)
{
    ReturnedSecurity security;
    TerminatedText path(installDir);
    DWORD status = KV_SYSCALL_STATUS(
        "GetNamedSecurityInfoW",
        GetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &security.dacl, nullptr, &security.descriptor));
    if (status != ERROR_SUCCESS)
        throw SystemError(L"GetNamedSecurityInfoW()"_v, status);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(security.descriptor, &control, &revision))
        throw SystemError(L"GetSecurityDescriptorControl()"_v, GetLastError());
    if (!(control & SE_DACL_AUTO_INHERITED))
        return true;
    if (control & SE_DACL_PROTECTED)
        return false;
    if (!security.dacl)
        return true;
    ULONG count = 0;
    PEXPLICIT_ACCESS_W entries = nullptr;
    status = GetExplicitEntriesFromAclW(security.dacl, &count, &entries);
    if (status != ERROR_SUCCESS)
        throw SystemError(L"GetExplicitEntriesFromAcl()"_v, status);
    if (entries)
        LocalFree(entries);
    return count == 0;
}

void SetProtectedList(wstrview installDir)
{
    InstallDirAccessList list;
    TerminatedText path(installDir);
    DWORD status = KV_SYSCALL_STATUS(
        "SetNamedSecurityInfoW",
        SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              list.acl.Get(), nullptr));
    if (status != ERROR_SUCCESS)
        throw SystemError(L"SetNamedSecurityInfoW()"_v, status);
}

}  // namespace

InstallDirAccessList::InstallDirAccessList()
{
    static Sid localSystem = Sid::LocalSystem();
    static Sid administrators = Sid::Administrators();
    static Sid users = IsAtLeast(GetWindowsVersion(), Windows2000) ? Sid::AuthenticatedUsers() : Sid::Everyone();
    AddAccessEntry(entries, FILE_ALL_ACCESS, localSystem);
    AddAccessEntry(entries, FILE_ALL_ACCESS, administrators);
    AddAccessEntry(entries, GENERIC_READ | GENERIC_EXECUTE, users);
    SetEntriesInAcl(acl, entries);
}

MakeInstallDir::MakeInstallDir(wstrview path, const SECURITY_ATTRIBUTES* securityAttributes, unsigned flags)
    : m_path(path)
{
    PrintLine(L"Creating directory '"_v + m_path + L"'"_v);
    CreateMissingParent(securityAttributes, flags);
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        KeepExisting(attributes, flags);
    else
        Create(securityAttributes);
}

void MakeInstallDir::CreateMissingParent(const SECURITY_ATTRIBUTES* securityAttributes, unsigned flags)
{
    wstring_nc parent = SplitPath(m_path.str()).directory;
    if (!IsCreatableParent(parent.str(), m_path.str()))
        return;
    if (IsDirectory(GetFileAttributesW(parent.c_str())) || (flags & NoParents))
        return;
    m_parentDir = std::make_unique<MakeInstallDir>(
        parent.str(), (flags & ParentsWithoutSecurity) ? nullptr : securityAttributes, flags & ~AskWhenNotEmpty);
}

void MakeInstallDir::KeepExisting(DWORD attributes, unsigned flags)
{
    if (!IsDirectory(attributes)) {
        wstrview reason = L"The specified path already exists and is not a directory."_v;
        ReportFailureAndAbort(CreatingDirectoryFailed, BoxText(m_path.str(), reason).str(), ExitPathIsNotADirectory,
                              reason);
    }
    if ((flags & AskWhenNotEmpty) && HoldsEntries(m_path.str())) {
        wstrview reason = L"The directory already exists and is not empty."_v;
        AskContinueAfterFailure(
            CreatingDirectoryFailed,
            BoxText(m_path.str(), reason) +
                L"\nContinuing installation is not recommended. Do you want to continue anyway?"_v,
            ExitDirectoryNotEmpty, reason);
    }
    CancelPendingDelete(m_path.str());
}

void MakeInstallDir::Create(const SECURITY_ATTRIBUTES* securityAttributes)
{
    SECURITY_ATTRIBUTES* attributes = const_cast<SECURITY_ATTRIBUTES*>(securityAttributes);
    if (!KV_SYSCALL("CreateDirectoryW", FALSE, CreateDirectoryW(m_path.c_str(), attributes))) {
        SystemError error(L"CreateDirectory()"_v, GetLastError());
        ReportFailureAndAbort(CreatingDirectoryFailed, BoxText(m_path.str(), error.Description()).str(),
                              ExitCreatingDirectoryFailed, error.Description());
    }
    m_applied = true;
    AppendQuotedUninstallParam(L"-delDir="_v, m_path.str());
    CancelPendingDelete(m_path.str());
}

MakeInstallDir::~MakeInstallDir()
{
    if (!MustRollBack(m_applied))
        return;
    PrintLine(L"Rollback: removing previously created directory '"_v + m_path + L"'"_v);
    if (KV_SYSCALL("RemoveDirectoryW", FALSE, RemoveDirectoryW(m_path.c_str())))
        return;
    SystemError error(L"RemoveDirectory()"_v, GetLastError());
    ReportRemovalFailure(L"Rollback: removing directory failed"_v,
                         (L"Unable to remove previously created directory '"_v + m_path + L"'\n"_v +
                          error.Description() + L"\nThe directory will be scheduled for removal on reboot."_v)
                             .str(),
                         error.Description(), L"Scheduling removing directory on reboot"_v, m_path.str());
}

void MakeInstallDir::Commit()
{
    OperationWithRollback::Commit();
    if (m_parentDir)
        m_parentDir->Commit();
}

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
        flags = GetVolumeFlags(InstallerState::Instance().installDir.str());
    } catch (const std::exception&) {
        return;
    }
    if (!(flags & FILE_PERSISTENT_ACLS))
        ReportSecuringFailure(security, L"Access control is not supported by the underlaying file system."_v);
}

void CreateSecuredInstallDir(InstallDirSecurity& security)
{
    CheckAccessControlSupport(security);
    security.installDirOp.reset();
    const wstring_nc& installDir = InstallerState::Instance().installDir;
    if (!security.securingFailed) {
        try {
            InstallDirAccessList list;
            SecurityDescriptor descriptor;
            descriptor.SetDacl(list.acl.Get());
            descriptor.ProtectDacl();
            SECURITY_ATTRIBUTES attributes = descriptor.Attributes();
            security.installDirOp =
                std::make_unique<MakeInstallDir>(installDir.str(), &attributes, MakeInstallDir::ParentsWithoutSecurity);
        } catch (const std::exception& error) {
            ReportSecuringFailure(security, WidenedWhat(error).str());
        }
    }
    if (!security.installDirOp)
        security.installDirOp =
            std::make_unique<MakeInstallDir>(installDir.str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
    ApplyInstallDirSecurity(security);
}

void ApplyInstallDirSecurity(InstallDirSecurity& security)
{
    if (security.securingFailed)
        return;
    const wstring_nc& installDir = InstallerState::Instance().installDir;
    bool apply = true;
    try {
        apply = NeedsProtectedList(installDir.str());
    } catch (const std::exception&) {
    }
    if (!apply)
        return;
    try {
        SetProtectedList(installDir.str());
    } catch (const std::exception& error) {
        ReportSecuringFailure(security, WidenedWhat(error).str());
    }
}
