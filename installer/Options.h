// Reading the installer's options from the command line.
#pragma once

#include "CmdLine.h"
#include "InstallerState.h"

// Mode, flags, site and install directory; raises SilentExit(200) for help and CmdLine::Err
// for an invalid combination.
void ReadInstallerOptions(CmdLine& cmdLine, InstallerState& state);
// startService, startKssCtrl and settings (made absolute); never fails.
void ReadFinishingOptions(CmdLine& cmdLine, InstallerState2& state);
