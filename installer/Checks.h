// Checks before installing: administrator, Windows version, running service and control panel.
#pragma once

#include "NoCrtLib/NoCrtString.h"

// Whether the process token holds the Administrators group; `answerOnFailure` when the query fails.
bool IsAdministratorMember(bool answerOnFailure);
// Ends the run with 131 when the user is not an administrator.
void CheckAdministrator();
// Ends the run with 130 on Windows older than 2000, unless overridden.
void CheckOsVersion();
bool IsServiceRunning(wstrview serviceName);
void StartSiteService();
bool IsControlPanelRunning(wstrview displayName);
