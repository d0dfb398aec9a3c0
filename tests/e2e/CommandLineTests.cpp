#include "InstallerRun.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::string UsageText =
    "This program will install Korvane SSH Server 5.59\n"
    "on the machine it is being run on.\n"
    "\n"
    "Korvane SSH Server is an SSH2 server for Windows 2000/XP/2003/Vista/2008/7.\n"
    "See https://www.korvane.example/ssh-server for more information.\n"
    "\n"
    "This program must be run by a user with administrator privileges. If run\n"
    "without command line options, installation will be performed in interactive\n"
    "mode. If run with command line options, installation will be performed in\n"
    "unattended mode.\n"
    "\n"
    "Usage (unattended mode only):\n"
    " KvSshServer-Inst -installDir=directory OR -defaultSite OR -site=site-name\n"
    "                  [-acceptEULA] [-force] [-noRollback]\n"
    "                  [-settings=settings-file]\n"
    "                  [-startService]\n"
    "                  [-startKssCtrl]\n"
    "\n"
    " site-name: Arbitrary name describing installation site (without a prefix).\n"
    "  The prefix \"Korvane SSH Server - \" will be prepended automatically.\n"
    "\n"
    "IMPORTANT: Applications like the Windows Event Viewer can lock Korvane SSH\n"
    "Server files that need to be replaced during an upgrade. If the installer\n"
    "cannot replace files because they are locked, it will return with exit code\n"
    "300. This exit code indicates that the installer must be run again using the\n"
    "same parameters after the computer has been restarted, or after ALL programs\n"
    "that had locked Korvane SSH Server files, in any logon session, have been\n"
    "closed.\n"
    "\n";

struct RunCase {
    std::wstring arguments;
    unsigned long exitCode;
    std::string output;
};

void ExpectRuns(const std::vector<RunCase>& cases)
{
    for (const RunCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "arguments: " << std::string(c.arguments.begin(), c.arguments.end()));
        InstallerResult result = RunInstaller(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

}  // namespace

TEST(CommandLine, HelpPrintsTheUsageTextAndEndsWith200)
{
    ExpectRuns({
        {L"-?", 200, UsageText},
        {L"/h", 200, UsageText},
        {L"-HELP", 200, UsageText},
        {L"-help -site=web -force", 200, UsageText},
    });
}

TEST(CommandLine, UnreadTokensAreRejectedWith201)
{
    ExpectRuns({
        {L"foo -bar", 201, "Unexpected command option: foo.\nUnexpected command parameter: -bar.\n\n" + UsageText},
        {L"-Zeta -alpha=1", 201,
         "Unexpected command parameter: -alpha=1.\nUnexpected command parameter: -Zeta.\n\n" + UsageText},
        {L"-help=1", 201, "Unexpected command parameter: -help=1.\n\n" + UsageText},
        {L"\"caf\u00e9 au lait\"", 201, "Unexpected command option: caf\xc3\xa9 au lait.\n\n" + UsageText},
    });
}
