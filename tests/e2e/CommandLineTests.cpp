#include "InstallerRun.h"

#include <gtest/gtest.h>

#include <vector>

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
        {L"-site=web foo -bar", 201,
         "Unexpected command option: foo.\nUnexpected command parameter: -bar.\n\n" + UsageText},
        {L"-Zeta -alpha=1 -defaultSite", 201,
         "Unexpected command parameter: -alpha=1.\nUnexpected command parameter: -Zeta.\n\n" + UsageText},
        {L"-help=1 -site=web", 201, "Unexpected command parameter: -help=1.\n\n" + UsageText},
        {L"-site=web \"caf\u00e9 au lait\"", 201,
         "Unexpected command option: caf\xc3\xa9 au lait.\n\n" + UsageText},
        {L"foo -bar", 201, "Missing '-installDir' or '-site' parameter.\n\n" + UsageText},
    });
}
