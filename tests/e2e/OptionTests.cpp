#include "InstallerRun.h"
#include "MachineState.h"
#include "SiteRun.h"

#include <gtest/gtest.h>

namespace {

// A run that gets past the checks, installs the site and undoes it where the run stops for now.
std::string RunUntilNotBuilt(const SitePaths& site)
{
    return "Creating Korvane registry key\n" + CreationLines(site) + RollbackLines(site) + NotBuiltYet;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

const std::string MissingAcceptEula =
    "Missing -acceptEULA parameter to indicate your acceptance of the Korvane SSH Server End-User License "
    "Agreement. Please run this installer without parameters to read the EULA, then supply the -acceptEULA "
    "parameter for unattended installation.\n";

const std::string InstalledElsewhere =
    "The provided '-installDir' parameter points to a site which is already\n"
    "installed in a different directory. Remove the existing site installation\n"
    "before attempting to install into the specified directory.\n\n";

// Error 5 as a product-key failure reports it: without the final period.
std::string AccessDenied()
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                   5, 0x0800, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L'.'))
        message.pop_back();
    return "Windows error 5: " + Utf8(message);
}

}  // namespace

TEST(Options, InvalidCombinationsAreRejectedWithTheirMessageAndTheUsageText)
{
    const std::string missingSite = "Missing '-installDir' or '-site' parameter.\n\n";
    const std::string invalidSite = "The '-siteName' parameter is either empty or consists of invalid characters.\n\n";
    ExpectRuns({
        {L"-interactive", 201, missingSite + UsageText},
        {L"-acceptEULA", 201, missingSite + UsageText},
        {L"-site= -acceptEULA", 201, invalidSite + UsageText},
        {L"-site=!!! -acceptEULA", 201, invalidSite + UsageText},
        {L"-site=Portiko- -acceptEULA", 201, invalidSite + UsageText},
        {L"-installDir=D:\\Srv -site=web", 201, "Mismatching '-installDir' and '-site' parameters.\n\n" + UsageText},
        {L"-site=web -defaultSite -acceptEULA", 201, "Unexpected command parameter: -defaultSite.\n\n" + UsageText},
        {L"-site=web -force=1 -acceptEULA", 201, "Unexpected command parameter: -force=1.\n\n" + UsageText},
    });
}

TEST(Options, UnattendedWithoutAcceptEulaChangesNothing)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKeyPath);
    ExpectRuns({{L"-site=e2e-eula -startService", 140, MissingAcceptEula}});
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProductKeyPath)) << "the product key was created";
}

TEST(Options, ASiteInstalledElsewhereIsRecognisedByEitherName)
{
    SitePaths site = SitePaths::ForSite(L"e2eweb");
    PlantedUninstallEntry installed(site.displayName, {{L"Version", L"5.59"}, {L"InstallDir", site.installDir}});
    const std::wstring elsewhere = L" -installDir=\"D:\\Other\\Korvane SSH Server - e2eweb\" -acceptEULA";
    ExpectRuns({
        {L"-site=e2eweb" + elsewhere, 201, InstalledElsewhere + UsageText},
        {L"-site=Portiko-e2eweb" + elsewhere, 201, InstalledElsewhere + UsageText},
        {L"\"-site=Korvane SSH Server - e2eweb\"" + elsewhere, 201, InstalledElsewhere + UsageText},
        {L"-site=Portiko-e2eweb -acceptEULA", 150, RunUntilNotBuilt(site)},
        {L"-installDir=" + Quoted(site.installDir) + L" -acceptEULA", 150, RunUntilNotBuilt(site)},
    });
}

TEST(Options, ASiteInstalledUnderItsLegacyNameIsTheSameSite)
{
    SitePaths site = SitePaths::ForSite(L"e2eold", ProgramFilesFolder() + L"\\Portiko-e2eold");
    PlantedUninstallEntry legacy(L"Portiko-e2eold",
                                 {{L"Version", L"5.10"}, {L"UninstallString", Quoted(site.installDir + L"\\uninst.exe")}});
    ExpectRuns({
        {L"-site=e2eold -installDir=\"D:\\Korvane SSH Server - e2eold\" -acceptEULA", 201,
         InstalledElsewhere + UsageText},
        {L"-site=e2eold -acceptEULA", 150, RunUntilNotBuilt(site)},
    });
}

// A site name with a character that internal names leave out ("e2e run"): the folders,
// shortcuts and continuation value keep the display name as given, the legacy name drops it.
TEST(Options, ContinuationValuesOfAnEarlierRunAreDeleted)
{
    const std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SitePaths site = SitePaths::ForSite(L"e2e run");
    const std::vector<std::wstring> continuations = {site.displayName + L" Installer", L"Portiko-e2erun Installer"};
    for (const std::wstring& name : continuations)
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, runKey.c_str(), name.c_str(), REG_SZ, L"x", 4), ERROR_SUCCESS);
    RemoveSiteLeftovers(site);
    ExpectRuns({{L"\"-site=e2e run\" -acceptEULA", 150, RunUntilNotBuilt(site)}});
    for (const std::wstring& name : continuations)
        EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, runKey.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr),
                  ERROR_FILE_NOT_FOUND)
            << Utf8(name);
    RemoveSiteLeftovers(site);
}

// Interactive mode shows the dialog unless -acceptEULA and a site or directory are given; its
// failures are also shown in a box.
TEST(Options, InteractiveWithAcceptEulaAndASiteShowsNoDialog)
{
    SitePaths site = SitePaths::ForSite(L"e2e-quiet");
    RemoveSiteLeftovers(site);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring boxLog = std::wstring(temp) + L"KvE2EMessageBoxes.log";
    struct Case {
        std::wstring arguments;
        std::string output;
        std::string boxText;
    };
    const std::string dialog = "Exception caught: The installer dialog is not built yet.";
    const std::string service = "Exception caught: Registering the service is not built yet.";
    const std::vector<Case> cases = {
        {L"-interactive -site=e2e-quiet", dialog + "\n", dialog},
        {L"-interactive -acceptEULA -site=e2e-quiet", RunUntilNotBuilt(site), service},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments));
        DeleteFileW(boxLog.c_str());
        InstallerResult result = RunInstaller(c.arguments, InstallerBuild::Test, {{L"KV_MESSAGEBOX_LOG", boxLog}});
        EXPECT_EQ(result.exitCode, 150u);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(ReadFileBytes(boxLog), "type=0x10\ncaption=Exception\ntext=" + c.boxText + "\n--\n");
    }
    DeleteFileW(boxLog.c_str());
    RemoveSiteLeftovers(site);
}

TEST(Checks, WindowsOlderThan2000StopsTheRunUnlessForced)
{
    WindowsVersionOverride nt40(L"nt40");
    SitePaths site = SitePaths::ForSite(L"e2e-old");
    const std::string tooOld = "Korvane SSH Server requires Windows 2000, or higher\n";
    ExpectRuns({
        {L"-site=e2e-old -acceptEULA", 130,
         tooOld + "Note: use /Force flag to override version checking\nAborting...\n\n"},
        {L"-site=e2e-old -acceptEULA -force", 150, tooOld + RunUntilNotBuilt(site)},
    });
}

TEST(ProductKey, IsCreatedOnAFreshMachine)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKeyPath);
    ExpectRuns({{L"-site=e2e-key -acceptEULA", 150, RunUntilNotBuilt(SitePaths::ForSite(L"e2e-key"))}});
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, ProductKeyPath));
}

TEST(ProductKey, AnExistingKeyReceivesTheAccessListOfSoftware)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKeyPath);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, ProductKeyPath, L"D:P(A;;KA;;;WD)"));
    const std::wstring softwareDacl = KeyDaclText(HKEY_LOCAL_MACHINE, L"SOFTWARE");
    ASSERT_FALSE(softwareDacl.empty());
    ASSERT_NE(KeyDaclText(HKEY_LOCAL_MACHINE, ProductKeyPath), softwareDacl);

    ExpectRuns({{L"-site=e2e-key -acceptEULA", 150, RunUntilNotBuilt(SitePaths::ForSite(L"e2e-key"))}});
    EXPECT_EQ(KeyDaclText(HKEY_LOCAL_MACHINE, ProductKeyPath), softwareDacl);
}

TEST(ProductKey, AFailureIsReportedAndEndsTheRunUnlessForced)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKeyPath);
    SitePaths site = SitePaths::ForSite(L"e2e-key");
    const std::string denied = "RegCreateKeyEx() failed: " + AccessDenied();
    // The first process-token query is the administrator check, which a failure lets pass; the
    // second is the product key's, which a failure answers with "not an administrator".
    struct FaultCase {
        std::wstring faults;
        std::wstring options;
        unsigned long exitCode;
        std::string output;
    };
    const std::vector<FaultCase> cases = {
        {L"RegCreateKeyExW#1=5", L"", 106,
         "Creating Korvane registry key\nCreating Korvane registry key failed\n" + denied + "\nAborting...\n\n"},
        {L"RegCreateKeyExW#1=5,OpenProcessToken#2=5", L"", 106,
         "Creating Korvane registry key\nCreating Korvane registry key failed\n" + denied +
             "\nTry running installer as administrator\nAborting...\n\n"},
        {L"RegCreateKeyExW#1=5", L" -force", 150,
         "Creating Korvane registry key\nCreating Korvane registry key failed\n" + denied + "\n" +
             CreationLines(site) + RollbackLines(site) + NotBuiltYet},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(Utf8(c.faults + c.options));
        InstallerResult result =
            RunInstaller(L"-site=e2e-key -acceptEULA" + c.options, InstallerBuild::Test, {{L"KV_FAULTS", c.faults}});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProductKeyPath));
    }
}

TEST(ProductKey, AFailureOnAnExistingKeyIsReportedAsSettingItsAccessControl)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKeyPath);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    InstallerResult result = RunInstaller(L"-site=e2e-key -acceptEULA", InstallerBuild::Test,
                                          {{L"KV_FAULTS", L"RegSetKeySecurity#1=5"}});
    EXPECT_EQ(result.exitCode, 106u);
    EXPECT_EQ(result.output, "Creating Korvane registry key\nSetting access control for Korvane registry key failed\n"
                             "RegSetKeySecurity() failed: " +
                                 AccessDenied() + "\nAborting...\n\n");
}
