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

std::string ShortcutFailure() { return "Creating shortcut failed\nIPersistFile::Save() failed\n"; }

std::string Aborting() { return "Aborting...\n\n"; }

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
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreationLinesBeforeShortcuts(site) +
                                 CreatingShortcutLine(site.shortcuts[0]) + CreatingShortcutLine(site.shortcuts[1]) +
                                 ShortcutFailure() + Aborting() + RollbackShortcutLine(site.shortcuts[0]) +
                                 RollbackLinesAfterShortcuts(site));
    ExpectMachineAsBefore();
}

TEST_F(Rollback, WithForceTheRunGoesOnWithoutTheFailedShortcut)
{
    ASSERT_EQ(site.shortcuts.size(), 3u) << "this machine has an Administrative Tools folder";
    InstallerResult result =
        RunWithFaults(L"-site=e2e-rollback -acceptEULA -force", L"IPersistFile::Save#2=0x80004005");
    EXPECT_EQ(result.exitCode, 150u);
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreationLinesBeforeShortcuts(site) +
                                 CreatingShortcutLine(site.shortcuts[0]) + CreatingShortcutLine(site.shortcuts[1]) +
                                 ShortcutFailure() + CreatingShortcutLine(site.shortcuts[2]) +
                                 RollbackShortcutLine(site.shortcuts[0]) + RollbackShortcutLine(site.shortcuts[2]) +
                                 RollbackLinesAfterShortcuts(site) + NotBuiltYet);
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
    for (const std::wstring& file : site.files)
        EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES) << Utf8(file);
    EXPECT_NE(GetFileAttributesW(site.shortcuts[0].c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(site.shortcuts[1].c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Rollback, ADirectoryThatCannotBeRemovedIsScheduledForTheNextRestart)
{
    InstallerResult result = RunWithFaults(L"-site=e2e-rollback -acceptEULA",
                                           L"IPersistFile::Save#1=0x80004005,RemoveDirectoryW#1=32");
    EXPECT_EQ(result.exitCode, 105u);
    std::string filesAndDirectories = RollbackLinesAfterShortcuts(site);
    filesAndDirectories.erase(0, RollbackDirectoryLine(site.startMenuFolder).size());
    EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreationLinesBeforeShortcuts(site) +
                                 CreatingShortcutLine(site.shortcuts[0]) + ShortcutFailure() + Aborting() +
                                 RollbackDirectoryLine(site.startMenuFolder) + "Rollback: removing directory failed\n" +
                                 "RemoveDirectory() failed: " + ErrorDescription(32) + "\n" +
                                 "Scheduling removing directory on reboot\n" + filesAndDirectories);

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
