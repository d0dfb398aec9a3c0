#include "InstallerRun.h"
#include "MachineState.h"
#include "SiteRun.h"

#include <gtest/gtest.h>


namespace {

const std::wstring SessionManagerKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::wstring PendingOperations = L"PendingFileRenameOperations";

std::string ErrorDescription(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                   nullptr, code, 0x0800, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n'))
        message.pop_back();
    return "Windows error " + std::to_string(code) + ": " + Utf8(message);
}

std::string Line(const std::string& text) { return text + "\n"; }

std::string ShortcutFailure()
{
    return "Creating shortcut failed\nIPersistFile::Save() failed\n";
}

std::string Aborting() { return "Aborting...\n\n"; }

std::string RolledBackShortcut(const std::wstring& path)
{
    return Line("Rollback: removing previously created shortcut '" + Utf8(path) + "'");
}

std::string RolledBackDirectory(const std::wstring& path)
{
    return Line("Rollback: removing previously created directory '" + Utf8(path) + "'");
}

std::string CreatedDirectories(const SitePaths& site)
{
    return Line("Creating directory '" + Utf8(site.installDir) + "'") +
           Line("Creating directory '" + Utf8(site.termInfoDir) + "'") +
           Line("Creating directory '" + Utf8(site.startMenuFolder) + "'");
}

std::string CreatingShortcut(const std::wstring& path) { return Line("Creating shortcut '" + Utf8(path) + "'"); }

std::string RolledBackDirectories(const SitePaths& site)
{
    return RolledBackDirectory(site.startMenuFolder) + RolledBackDirectory(site.termInfoDir) +
           RolledBackDirectory(site.installDir);
}

MachineSnapshot SiteSnapshot(const SitePaths& site)
{
    MachineSnapshot snapshot;
    snapshot.Directory(site.installDir).Directory(site.startMenuFolder);
    for (const std::wstring& shortcut : site.shortcuts)
        snapshot.File(shortcut);
    snapshot.Key(HKEY_LOCAL_MACHINE, ProductKeyPath)
        .Key(HKEY_LOCAL_MACHINE, UninstallKeyPath + L"\\" + site.displayName)
        .Value(HKEY_LOCAL_MACHINE, SessionManagerKey, PendingOperations);
    return snapshot;
}

InstallerResult RunWithFaults(const std::wstring& arguments, const std::wstring& faults)
{
    return RunInstaller(arguments, InstallerBuild::Test, {{L"KV_FAULTS", faults}});
}

class Rollback : public testing::Test {
protected:
    void SetUp() override
    {
        HKEY key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductKeyPath.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr);
        RegCloseKey(key);
        RemoveSiteLeftovers(site);
        before = SiteSnapshot(site);
    }
    void TearDown() override { RemoveSiteLeftovers(site); }

    void ExpectMachineAsBefore()
    {
        MachineSnapshot after = SiteSnapshot(site);
        EXPECT_TRUE(before == after) << before.Difference(after);
    }

    SitePaths site = SitePaths::ForSite(L"e2e-rollback");
    MachineSnapshot before;
};

}  // namespace

TEST_F(Rollback, AFailingShortcutUndoesEverythingBeforeItInReverseOrder)
{
    InstallerResult result = RunWithFaults(L"-site=e2e-rollback -acceptEULA", L"IPersistFile::Save#2=0x80004005");
    EXPECT_EQ(result.exitCode, 105u);
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreatedDirectories(site) +
                                 CreatingShortcut(site.shortcuts[0]) + CreatingShortcut(site.shortcuts[1]) +
                                 ShortcutFailure() + Aborting() + RolledBackShortcut(site.shortcuts[0]) +
                                 RolledBackDirectories(site));
    ExpectMachineAsBefore();
}

TEST_F(Rollback, WithForceTheRunGoesOnWithoutTheFailedShortcut)
{
    ASSERT_EQ(site.shortcuts.size(), 3u) << "this machine has an Administrative Tools folder";
    InstallerResult result =
        RunWithFaults(L"-site=e2e-rollback -acceptEULA -force", L"IPersistFile::Save#2=0x80004005");
    EXPECT_EQ(result.exitCode, 150u);
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreatedDirectories(site) +
                                 CreatingShortcut(site.shortcuts[0]) + CreatingShortcut(site.shortcuts[1]) +
                                 ShortcutFailure() + CreatingShortcut(site.shortcuts[2]) +
                                 RolledBackShortcut(site.shortcuts[0]) + RolledBackShortcut(site.shortcuts[2]) +
                                 RolledBackDirectories(site) + NotBuiltYet);
    ExpectMachineAsBefore();
}

TEST_F(Rollback, NoRollbackKeepsEveryChange)
{
    InstallerResult result =
        RunWithFaults(L"-site=e2e-rollback -acceptEULA -noRollback", L"IPersistFile::Save#2=0x80004005");
    EXPECT_EQ(result.exitCode, 105u);
    EXPECT_EQ(result.output.find("Rollback: "), std::string::npos) << result.output;
    for (const std::wstring* directory : {&site.installDir, &site.termInfoDir, &site.startMenuFolder})
        EXPECT_NE(GetFileAttributesW(directory->c_str()), INVALID_FILE_ATTRIBUTES) << Utf8(*directory);
    EXPECT_NE(GetFileAttributesW(site.shortcuts[0].c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(site.shortcuts[1].c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Rollback, ADirectoryThatCannotBeRemovedIsScheduledForTheNextRestart)
{
    InstallerResult result = RunWithFaults(L"-site=e2e-rollback -acceptEULA",
                                           L"IPersistFile::Save#1=0x80004005,RemoveDirectoryW#1=32");
    EXPECT_EQ(result.exitCode, 105u);
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreatedDirectories(site) +
                                 CreatingShortcut(site.shortcuts[0]) + ShortcutFailure() + Aborting() +
                                 RolledBackDirectory(site.startMenuFolder) + "Rollback: removing directory failed\n" +
                                 Line("RemoveDirectory() failed: " + ErrorDescription(32)) + "Scheduling removing directory on reboot\n" +
                                 RolledBackDirectory(site.termInfoDir) + RolledBackDirectory(site.installDir));

    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey.c_str(), 0, KEY_READ | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    RegQueryValueExW(key, PendingOperations.c_str(), nullptr, nullptr, nullptr, &size);
    std::wstring list(size / sizeof(wchar_t), L'\0');
    RegQueryValueExW(key, PendingOperations.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(list.data()), &size);
    std::wstring pair = std::wstring(L"\\??\\") + site.startMenuFolder + L'\0' + L'\0';
    EXPECT_NE(list.find(pair), std::wstring::npos) << "the folder is not pending deletion";

    RemoveSiteLeftovers(site);
    RegDeleteValueW(key, PendingOperations.c_str());
    RegCloseKey(key);
}
