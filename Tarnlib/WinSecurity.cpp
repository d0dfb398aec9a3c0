#include "WinSecurity.h"

#include "FaultSeam.h"
#include "NoCrtLib/Assertion.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NumCvt.h"

namespace Tarnlib {

namespace {

Sid BuildSid(unsigned subAuthorityCount, SID_IDENTIFIER_AUTHORITY authority, DWORD subAuthority0,
             DWORD subAuthority1 = 0)
{
    Sid sid;
    sid.Set(subAuthorityCount, authority, subAuthority0, subAuthority1);
    return sid;
}

constexpr SID_IDENTIFIER_AUTHORITY NtAuthority = SECURITY_NT_AUTHORITY;
constexpr SID_IDENTIFIER_AUTHORITY WorldAuthority = SECURITY_WORLD_SID_AUTHORITY;
constexpr SID_IDENTIFIER_AUTHORITY CreatorAuthority = SECURITY_CREATOR_SID_AUTHORITY;

constexpr unsigned MaxSubAuthorityCount = 8;

// How many times in a row the token may report a larger size before reading gives up.
constexpr unsigned MaxTokenBufferShortfalls = 1001;

// The process token, opened for querying and adjusting privileges. Closing it keeps the
// thread's last error, which the privilege operations report to their callers.
class ProcessToken : public NoCopy {
public:
    ProcessToken()
    {
        if (!KV_SYSCALL("OpenProcessToken", FALSE,
                        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &m_handle)))
            m_handle = nullptr;
    }
    ~ProcessToken()
    {
        if (!m_handle)
            return;
        DWORD lastError = GetLastError();
        CloseHandle(m_handle);
        SetLastError(lastError);
    }
    bool IsOpen() const { return m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

// The one lock of every Privilege; created on first use, so that it exists whenever a
// privilege is used, even from another module's start-up code.
CriticalSection& PrivilegeLock()
{
    static CriticalSection section;
    return section;
}

bool SameLuid(const LUID& a, const LUID& b)
{
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

bool GetTokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* buffer, DWORD bufferBytes,
                             DWORD& needed)
{
    return KV_SYSCALL("GetTokenInformation", FALSE,
                      GetTokenInformation(token, infoClass, buffer, bufferBytes, &needed)) != FALSE;
}

bool TokenInformationFailure(wstrview context, DWORD error, Kvect& buffer, bool noThrow)
{
    buffer.clear();
    if (!noThrow)
        throw SystemError(context, error);
    SetLastError(error);
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Security identifiers

void Sid::Set(unsigned subAuthorityCount, SID_IDENTIFIER_AUTHORITY authority, DWORD subAuthority0,
              DWORD subAuthority1)
{
    if (subAuthorityCount < 1 || subAuthorityCount > MaxSubAuthorityCount)
        throw StrInvalidArgument(L"Sid::Set() - invalid subauthority count ("_v + DecimalText(subAuthorityCount) +
                                 L")"_v);
    BYTE count = BYTE(subAuthorityCount);
    m_bytes.resize(GetSidLengthRequired(count));
    // The only failure of InitializeSid is a count out of range, refused above.
    InitializeSid(Get(), &authority, count);
    *GetSidSubAuthority(Get(), 0) = subAuthority0;
    if (count > 1)
        *GetSidSubAuthority(Get(), 1) = subAuthority1;
    for (BYTE i = 2; i < count; ++i)
        *GetSidSubAuthority(Get(), i) = 0;
}

Sid Sid::LocalSystem() { return BuildSid(1, NtAuthority, SECURITY_LOCAL_SYSTEM_RID); }
Sid Sid::AuthenticatedUsers() { return BuildSid(1, NtAuthority, SECURITY_AUTHENTICATED_USER_RID); }
Sid Sid::Everyone() { return BuildSid(1, WorldAuthority, SECURITY_WORLD_RID); }
Sid Sid::CreatorOwner() { return BuildSid(1, CreatorAuthority, SECURITY_CREATOR_OWNER_RID); }
Sid Sid::Administrators() { return BuildSid(2, NtAuthority, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS); }

void CopySidTo(PSID sid, Kvect& bytes)
{
    if (!sid) {
        bytes.clear();
        return;
    }
    DWORD length = GetLengthSid(sid);
    bytes.resize(length);
    if (!KV_SYSCALL("CopySid", FALSE, CopySid(length, bytes.data(), sid)))
        throw SystemError(L"CopySid()"_v, GetLastError());
}

// ---------------------------------------------------------------------------------------------
// Access lists and security descriptors

void AddAccessEntry(AccessEntries& entries, DWORD accessMask, Sid& trustee)
{
    EXPLICIT_ACCESS_W entry = {};
    entry.grfAccessPermissions = accessMask;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(trustee.Get());
    entries.push_back(entry);
}

void LocalMemory::Replace(HLOCAL memory)
{
    if (m_memory)
        LocalFree(m_memory);
    m_memory = memory;
}

void SetEntriesInAcl(AclHolder& holder, AccessEntries& entries)
{
    holder.m_memory.Replace(nullptr);
    PACL acl = nullptr;
    DWORD result = KV_SYSCALL_STATUS("SetEntriesInAclW", ::SetEntriesInAclW(entries.size(), entries.data(), nullptr, &acl));
    if (result != ERROR_SUCCESS)
        throw SystemError(L"SetEntriesInAcl()"_v, result);
    holder.m_memory.Replace(acl);
}

SecurityDescriptor::SecurityDescriptor()
{
    HLOCAL memory = KV_SYSCALL("LocalAlloc", nullptr, LocalAlloc(LMEM_ZEROINIT, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!memory)
        throw SystemError(L"SecurityDescriptor: LocalAlloc()"_v, GetLastError());
    m_memory.Replace(memory);
    if (!KV_SYSCALL("InitializeSecurityDescriptor", FALSE,
                    InitializeSecurityDescriptor(Get(), SECURITY_DESCRIPTOR_REVISION)))
        throw SystemError(L"InitializeSecurityDescriptor()"_v, GetLastError());
}

void SecurityDescriptor::SetDacl(PACL acl)
{
    if (!KV_SYSCALL("SetSecurityDescriptorDacl", FALSE, SetSecurityDescriptorDacl(Get(), TRUE, acl, FALSE)))
        throw SystemError(L"SetSecurityDescriptorDacl()"_v, GetLastError());
}

void SecurityDescriptor::ProtectDacl()
{
    if (!KV_SYSCALL("SetSecurityDescriptorControl", FALSE,
                    SetSecurityDescriptorControl(Get(), SE_DACL_PROTECTED, SE_DACL_PROTECTED)))
        throw SystemError(L"SetSecurityDescriptorControl()"_v, GetLastError());
}

SECURITY_DESCRIPTOR_CONTROL SecurityDescriptor::Control(DWORD* revision) const
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD descriptorRevision = 0;
    if (!KV_SYSCALL("GetSecurityDescriptorControl", FALSE,
                    GetSecurityDescriptorControl(Get(), &control, &descriptorRevision)))
        throw SystemError(L"GetSecurityDescriptorControl()"_v, GetLastError());
    if (revision)
        *revision = descriptorRevision;
    return control;
}

SECURITY_ATTRIBUTES SecurityDescriptor::Attributes() const
{
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = Get();
    attributes.bInheritHandle = FALSE;
    return attributes;
}

// ---------------------------------------------------------------------------------------------
// Token information

bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, Kvect& buffer, bool noThrow)
{
    DWORD needed = 0;
    if (!GetTokenInformationCall(token, infoClass, nullptr, 0, needed)) {
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return TokenInformationFailure(L"GetTokenInformation(first)"_v, error, buffer, noThrow);
    }
    for (unsigned shortfalls = 0;;) {
        buffer.resize(needed);
        if (GetTokenInformationCall(token, infoClass, buffer.data(), buffer.size(), needed))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || ++shortfalls == MaxTokenBufferShortfalls)
            return TokenInformationFailure(L"GetTokenInformation(second)"_v, error, buffer, noThrow);
    }
}

// ---------------------------------------------------------------------------------------------
// Privileges

constinit Privilege SecurityPrivilege(L"SeSecurityPrivilege");
constinit Privilege BackupPrivilege(L"SeBackupPrivilege");
constinit Privilege RestorePrivilege(L"SeRestorePrivilege");
constinit Privilege TakeOwnershipPrivilege(L"SeTakeOwnershipPrivilege");
constinit Privilege TcbPrivilege(L"SeTcbPrivilege");
constinit Privilege ShutdownPrivilege(L"SeShutdownPrivilege");
constinit Privilege DebugPrivilege(L"SeDebugPrivilege");
constinit Privilege CreateGlobalPrivilege(L"SeCreateGlobalPrivilege");

bool Privilege::Enable()
{
    CriticalSectionLock lock(PrivilegeLock());
    if (m_state == State::Enabled) {
        ++m_count;
        return true;
    }
    ProcessToken token;
    if (!token.IsOpen())
        return false;
    if (m_state == State::NotProbed)
        Probe(token.Get());
    if (m_state == State::Failed) {
        SetLastError(m_failureCode);
        return false;
    }
    if (!Adjust(token.Get(), SE_PRIVILEGE_ENABLED))
        return false;
    m_state = State::Enabled;
    m_count = 1;
    return true;
}

void Privilege::Release()
{
    CriticalSectionLock lock(PrivilegeLock());
    NC_CHECK_TEXT(m_count != 0, "!!m_count");
    if (--m_count != 0)
        return;
    ProcessToken token;
    if (token.IsOpen() && Adjust(token.Get(), 0))
        m_state = State::PresentDisabled;
}

void Privilege::Probe(HANDLE token)
{
    if (!KV_SYSCALL("LookupPrivilegeValueW", FALSE, LookupPrivilegeValueW(nullptr, m_name, &m_luid))) {
        SetFailed(L"LookupPrivilegeValue()", GetLastError());
        return;
    }
    Kvect buffer;
    if (!ReadTokenInformation(token, TokenPrivileges, buffer, true)) {
        SetFailed(L"GetTokenInformation()", GetLastError());
        return;
    }
    ProbeTokenPrivileges(buffer);
}

void Privilege::ProbeTokenPrivileges(const Kvect& tokenPrivileges)
{
    const TOKEN_PRIVILEGES* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(tokenPrivileges.data());
    const LUID_AND_ATTRIBUTES* entries = list->Privileges;
    for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
        if (!SameLuid(entries[i].Luid, m_luid))
            continue;
        if (entries[i].Attributes & SE_PRIVILEGE_REMOVED)
            break;
        m_state = (entries[i].Attributes & SE_PRIVILEGE_ENABLED) ? State::Enabled : State::PresentDisabled;
        return;
    }
    SetFailed(nullptr, ERROR_PRIVILEGE_NOT_HELD);
}

void Privilege::SetFailed(const wchar_t* context, DWORD code)
{
    m_state = State::Failed;
    m_failureContext = context;
    m_failureCode = code;
}

bool Privilege::Adjust(HANDLE token, DWORD attributes)
{
    TOKEN_PRIVILEGES change = {};
    change.PrivilegeCount = 1;
    change.Privileges[0].Luid = m_luid;
    change.Privileges[0].Attributes = attributes;
    return KV_SYSCALL("AdjustTokenPrivileges", FALSE,
                      AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr)) != FALSE;
}

// ---------------------------------------------------------------------------------------------
// Scoped enabling

PrivilegeEnabler::~PrivilegeEnabler()
{
    if (m_enabled)
        m_privilege.Release();
}

bool PrivilegeEnabler::Enable()
{
    if (!m_enabled)
        m_enabled = m_privilege.Enable();
    return m_enabled;
}

}  // namespace Tarnlib
