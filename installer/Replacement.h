// Replacing an existing installation of the site before installing it afresh.
#pragma once

#include "NoCrtLib/NoCrtString.h"

// True when an uninstaller ran and the run may go on; false when nothing is registered.
bool ReplaceExistingInstallation(wstrview registeredName, wstrview displayName);
