#include "Options.h"

#include "InstallLib/RunExit.h"

void ReadInstallerOptions(CmdLine& cmdLine, InstallerState& state)
{
    if (cmdLine.PositionalCount() <= 1 && cmdLine.OptionCount() == 0) {
        state.interactive = true;
        return;
    }
    state.interactive = false;
    if (cmdLine.IsHelp())
        throw SilentExit(200);
}
