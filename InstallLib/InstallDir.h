// The install directory: creating directories with rollback, checking that the volume keeps
// access control, and securing the install directory.
#pragma once

#include "OperationFramework.h"

#include "Tarnlib/WinSecurity.h"

#include <windows.h>

#include <memory>

// Creates one directory, and when asked the missing directories above it; removes what it
// created when destroyed uncommitted.
class MakeInstallDir : public OperationWithRollback {
public:
    enum Flags : unsigned {
        AskWhenNotEmpty = 1,          // an existing directory that is not empty needs confirmation
        NoParents = 2,                // missing parent directories are not created
        ParentsWithoutSecurity = 4,   // missing parents are created without the security attributes
    };

    MakeInstallDir(wstrview path, const SECURITY_ATTRIBUTES* securityAttributes, unsigned flags);
    ~MakeInstallDir();
    void Commit() override;

private:
    void CreateMissingParent(const SECURITY_ATTRIBUTES* securityAttributes, unsigned flags);
    void KeepExisting(DWORD attributes, unsigned flags);
    void Create(const SECURITY_ATTRIBUTES* securityAttributes);

    wstring_nc m_path;
    bool m_applied = false;
    std::unique_ptr<MakeInstallDir> m_parentDir;
};

// The protected list of the install directory: system and administrators full control,
// authenticated users (everyone before Windows 2000) read and execute, inherited below.
struct InstallDirAccessList {
    InstallDirAccessList();
    Tarnlib::AccessEntries entries;
    Tarnlib::AclHolder acl;
};

// The record behind the two securing steps of a run.
struct InstallDirSecurity {
    bool securingFailed = false;  // reported once; every later securing step is skipped
    std::unique_ptr<MakeInstallDir> installDirOp;
};

// Reports a securing failure (only the first); goes on when forced or confirmed, else ends with 108.
void ReportSecuringFailure(InstallDirSecurity& security, wstrview description);
// Reports a volume without access control lists; a failure to read the volume's flags passes.
void CheckAccessControlSupport(InstallDirSecurity& security);
// Creates the install directory with the protected access list, or corrects an existing one.
void CreateSecuredInstallDir(InstallDirSecurity& security);
// Gives an existing install directory that only inherits its permissions the protected list.
void ApplyInstallDirSecurity(InstallDirSecurity& security);
