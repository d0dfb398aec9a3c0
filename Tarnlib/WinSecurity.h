// Owners and wrappers of the Windows security objects the installer builds or changes:
// security identifiers, access lists, security descriptors, token information and privileges.
// A failing Windows call raises SystemError, except privilege enabling, which reports failure
// through its result and the thread's last error.
#pragma once

#include "CriticalSection.h"
#include "NoCrtLib/datavect.h"

#include <windows.h>

#include <aclapi.h>

namespace Tarnlib {

// One security identifier in an owned buffer.
class Sid {
public:
    // Builds the identifier with `subAuthorityCount` (1..8) sub-authorities under `authority`:
    // the first two are the given values, the others 0.
    void Set(unsigned subAuthorityCount, SID_IDENTIFIER_AUTHORITY authority, DWORD subAuthority0,
             DWORD subAuthority1 = 0);
    PSID Get() { return m_bytes.data(); }

    static Sid LocalSystem();         // S-1-5-18
    static Sid AuthenticatedUsers();  // S-1-5-11
    static Sid Everyone();            // S-1-1-0
    static Sid CreatorOwner();        // S-1-3-0
    static Sid Administrators();      // S-1-5-32-544

private:
    Kvect m_bytes;
};

// Copies the identifier into `bytes`; a null identifier leaves it empty.
void CopySidTo(PSID sid, Kvect& bytes);

typedef datavect<EXPLICIT_ACCESS_W> AccessEntries;

// Appends an entry that sets `accessMask` for `trustee`, inherited by files and folders below.
// The entry refers to the trustee's buffer, which must outlive the entries.
void AddAccessEntry(AccessEntries& entries, DWORD accessMask, Sid& trustee);

// Memory allocated by the system with LocalAlloc, freed with LocalFree.
class LocalMemory : public NoCopy {
public:
    LocalMemory() = default;
    ~LocalMemory() { Replace(nullptr); }
    HLOCAL Get() const { return m_memory; }
    // Frees the current memory and keeps `memory` instead.
    void Replace(HLOCAL memory);

private:
    HLOCAL m_memory = nullptr;
};

// The ACL built by SetEntriesInAcl.
class AclHolder : public NoCopy {
public:
    PACL Get() const { return static_cast<PACL>(m_memory.Get()); }

private:
    friend void SetEntriesInAcl(AclHolder& holder, AccessEntries& entries);
    LocalMemory m_memory;
};

// Replaces the holder's ACL with a new one made of `entries` alone.
// (The Windows header turns this name into SetEntriesInAclW, here as at every caller.)
void SetEntriesInAcl(AclHolder& holder, AccessEntries& entries);

// An absolute security descriptor. It does not own the ACL it points to: the ACL must stay
// alive as long as the descriptor is used.
class SecurityDescriptor : public NoCopy {
public:
    SecurityDescriptor();
    PSECURITY_DESCRIPTOR Get() const { return m_memory.Get(); }
    void SetDacl(PACL acl);
    // Entries inherited from the parent object no longer apply.
    void ProtectDacl();
    SECURITY_DESCRIPTOR_CONTROL Control(DWORD* revision = nullptr) const;
    // Attributes that apply this descriptor; handles are not inheritable.
    SECURITY_ATTRIBUTES Attributes() const;

private:
    LocalMemory m_memory;
};

// Reads token information of class `infoClass` into `buffer`, retrying while the needed size
// keeps growing. On failure `buffer` is emptied, and the SystemError is raised or, with
// `noThrow`, the last error is set and the result is false.
bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, Kvect& buffer, bool noThrow);

// One privilege of the process, enabled while any user needs it. All privileges share one
// lock; a privilege found missing stays failed for the life of the process.
class Privilege : public NoCopy {
public:
    // The name is kept, not copied.
    explicit constexpr Privilege(const wchar_t* name) : m_name(name) {}

    // True when the privilege is enabled; otherwise false with the last error set.
    bool Enable();
    // Gives back one Enable; the last one disables the privilege.
    void Release();

    const wchar_t* Name() const { return m_name; }
    // The call that failed ("LookupPrivilegeValue()" or "GetTokenInformation()"), or null.
    const wchar_t* FailureContext() const { return m_failureContext; }

private:
    enum class State { NotProbed, Failed, PresentDisabled, Enabled };

    void Probe(HANDLE token);
    void ProbeTokenPrivileges(const Kvect& tokenPrivileges);
    void SetFailed(const wchar_t* context, DWORD code);
    bool Adjust(HANDLE token, DWORD attributes);

    const wchar_t* m_name;
    State m_state = State::NotProbed;
    const wchar_t* m_failureContext = nullptr;
    DWORD m_failureCode = 0;
    LUID m_luid = {};
    LONG m_count = 0;
};

extern Privilege SecurityPrivilege;
extern Privilege BackupPrivilege;
extern Privilege RestorePrivilege;
extern Privilege TakeOwnershipPrivilege;
extern Privilege TcbPrivilege;
extern Privilege ShutdownPrivilege;
extern Privilege DebugPrivilege;
extern Privilege CreateGlobalPrivilege;

// Holds a privilege enabled from a successful Enable until destruction.
class PrivilegeEnabler : public NoCopy {
public:
    explicit PrivilegeEnabler(Privilege& privilege) : m_privilege(privilege) {}
    ~PrivilegeEnabler();
    // Asks the privilege until it is enabled once; later calls only report that.
    bool Enable();

private:
    Privilege& m_privilege;
    bool m_enabled = false;
};

}  // namespace Tarnlib
