// The install directory: checking that its volume keeps access control, and securing it.
#pragma once

#include "NoCrtLib/NoCrtString.h"

// The record behind the two securing steps of a run.
struct InstallDirSecurity {
    bool securingFailed = false;  // reported once; every later securing step is skipped
};

// Reports a securing failure (only the first); goes on when forced or confirmed, else ends with 108.
void ReportSecuringFailure(InstallDirSecurity& security, wstrview description);
// Reports a volume without access control lists; a failure to read the volume's flags passes.
void CheckAccessControlSupport(InstallDirSecurity& security);
