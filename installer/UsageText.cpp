#include "UsageText.h"

#include "InstallerState.h"

const wstring_nc& UsageText()
{
    static const wstring_nc text = L"This program will install Korvane SSH Server "_v + ProductVersion +
        L"\n"
        L"on the machine it is being run on.\n"
        L"\n"
        L"Korvane SSH Server is an SSH2 server for Windows 2000/XP/2003/Vista/2008/7.\n"
        L"See https://www.korvane.example/ssh-server for more information.\n"
        L"\n"
        L"This program must be run by a user with administrator privileges. If run\n"
        L"without command line options, installation will be performed in interactive\n"
        L"mode. If run with command line options, installation will be performed in\n"
        L"unattended mode.\n"
        L"\n"
        L"Usage (unattended mode only):\n"
        L" KvSshServer-Inst -installDir=directory OR -defaultSite OR -site=site-name\n"
        L"                  [-acceptEULA] [-force] [-noRollback]\n"
        L"                  [-settings=settings-file]\n"
        L"                  [-startService]\n"
        L"                  [-startKssCtrl]\n"
        L"\n"
        L" site-name: Arbitrary name describing installation site (without a prefix).\n"
        L"  The prefix \"Korvane SSH Server - \" will be prepended automatically.\n"
        L"\n"
        L"IMPORTANT: Applications like the Windows Event Viewer can lock Korvane SSH\n"
        L"Server files that need to be replaced during an upgrade. If the installer\n"
        L"cannot replace files because they are locked, it will return with exit code\n"
        L"300. This exit code indicates that the installer must be run again using the\n"
        L"same parameters after the computer has been restarted, or after ALL programs\n"
        L"that had locked Korvane SSH Server files, in any logon session, have been\n"
        L"closed.\n"_v;
    return text;
}
