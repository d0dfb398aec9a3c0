// Reading the installer's options from the command line.
#pragma once

#include "CmdLine.h"
#include "InstallerState.h"

// Sets the mode and answers help; raises SilentExit(200) for help.
void ReadInstallerOptions(CmdLine& cmdLine, InstallerState& state);
