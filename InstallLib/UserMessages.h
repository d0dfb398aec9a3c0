// Message boxes of interactive mode; every one the installer shows goes through here.
#pragma once

#include "NoCrtLib/NoCrtString.h"

#include <windows.h>

// Shows a message box with no owner window and returns the button chosen.
int ShowMessageBox(wstrview text, wstrview caption, UINT type);
