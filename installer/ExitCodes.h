// The exit codes of the installer's own steps; each operation keeps its own next to it.
#pragma once

enum InstallerExitCode {
    ExitUnsupportedWindows = 130,
    ExitNotAdministrator = 131,
    ExitMissingAcceptEula = 140,
    ExitUnexpectedException = 150,
    ExitHelp = 200,
    ExitCommandLineError = 201,
};
