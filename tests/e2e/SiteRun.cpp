#include "SiteRun.h"

#include <windows.h>
#include <shlobj.h>

const std::string NotBuiltYet = "Exception caught: Registering the service is not built yet.\n";

namespace {

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
    return path;
}

std::string Line(const std::string& text) { return text + "\n"; }

// The file sections of the demo payload in stream order, with their platforms
// (1: 32-bit Windows only, 2: 64-bit Windows only, 3: both).
struct PayloadFile {
    const wchar_t* name;
    int platforms;
};
const PayloadFile DemoPayloadFiles[] = {
    {L"uninst.exe", 3},      {L"QyProv32.dll", 3},    {L"CryptoPP530Fips32.dll", 3}, {L"QyProv64.dll", 2},
    {L"CryptoPP530Fips64.dll", 2}, {L"KvSshServer.exe", 1}, {L"KvSshServer.exe", 2}, {L"KvLsa.dll", 1},
    {L"KvLsa.dll", 2},       {L"KssCtrl.exe", 3},     {L"KvSshSftp.exe", 1},         {L"KvSshSftp.exe", 2},
    {L"KvSshTerm.dll", 2},   {L"KssCfg.exe", 3},      {L"KssCfgManip.exe", 3},       {L"KssStat.exe", 3},
    {L"Readme.txt", 3},      {L"TermInfo\\ansi", 3}, {L"TermInfo\\cygwin", 3},      {L"TermInfo\\dumb", 3},
    {L"TermInfo\\linux", 3}, {L"TermInfo\\putty", 3}, {L"TermInfo\\putty-256color", 3}, {L"TermInfo\\rxvt", 3},
    {L"TermInfo\\screen", 3}, {L"TermInfo\\screen-256color", 3}, {L"TermInfo\\vt100", 3},
    {L"TermInfo\\vt220", 3}, {L"TermInfo\\xterm", 3}, {L"TermInfo\\xterm-256color", 3},
    {L"TermInfo\\xterm-color", 3},
};

int ThisPlatform()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? 2 : 1;
}

}  // namespace

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring ProgramFilesFolder() { return SpecialFolder(CSIDL_PROGRAM_FILES); }

SitePaths SitePaths::ForSite(const std::wstring& siteName, const std::wstring& installDir)
{
    SitePaths site;
    site.displayName = L"Korvane SSH Server - " + siteName;
    site.installDir = installDir.empty() ? ProgramFilesFolder() + L"\\" + site.displayName : installDir;
    site.termInfoDir = site.installDir + L"\\TermInfo";
    site.startMenuFolder = SpecialFolder(CSIDL_PROGRAMS) + L"\\" + site.displayName;
    site.shortcuts.push_back(site.startMenuFolder + L"\\" + site.displayName + L" Control Panel.lnk");
    site.shortcuts.push_back(site.startMenuFolder + L"\\Uninstall " + site.displayName + L".lnk");
    for (const PayloadFile& file : DemoPayloadFiles)
        if (file.platforms & ThisPlatform())
            site.files.push_back(site.installDir + L"\\" + file.name);
    std::wstring adminTools = SpecialFolder(CSIDL_COMMON_ADMINTOOLS);
    if (!adminTools.empty())
        site.shortcuts.push_back(adminTools + L"\\" + site.displayName + L" Control Panel.lnk");
    return site;
}

std::string CreatingShortcutLine(const std::wstring& shortcut) { return Line("Creating shortcut '" + Utf8(shortcut) + "'"); }

std::string RollbackShortcutLine(const std::wstring& shortcut)
{
    return Line("Rollback: removing previously created shortcut '" + Utf8(shortcut) + "'");
}

std::string RollbackDirectoryLine(const std::wstring& directory)
{
    return Line("Rollback: removing previously created directory '" + Utf8(directory) + "'");
}

std::string CreationLinesBeforeShortcuts(const SitePaths& site)
{
    std::string lines = Line("Creating directory '" + Utf8(site.installDir) + "'") +
                        Line("Creating directory '" + Utf8(site.termInfoDir) + "'");
    for (const std::wstring& file : site.files)
        lines += Line("Installing " + Utf8(file));
    return lines + Line("Creating directory '" + Utf8(site.startMenuFolder) + "'");
}

std::string CreationLines(const SitePaths& site)
{
    std::string lines = CreationLinesBeforeShortcuts(site);
    for (const std::wstring& shortcut : site.shortcuts)
        lines += CreatingShortcutLine(shortcut);
    return lines;
}

std::string RollbackLinesAfterShortcuts(const SitePaths& site)
{
    std::string lines = RollbackDirectoryLine(site.startMenuFolder);
    for (auto file = site.files.rbegin(); file != site.files.rend(); ++file)
        lines += Line("Rollback: removing previously created file '" + Utf8(*file) + "'");
    return lines + RollbackDirectoryLine(site.termInfoDir) + RollbackDirectoryLine(site.installDir);
}

std::string RollbackLines(const SitePaths& site)
{
    std::string lines;
    for (const std::wstring& shortcut : site.shortcuts)
        lines += RollbackShortcutLine(shortcut);
    return lines + RollbackLinesAfterShortcuts(site);
}

void RemoveSiteLeftovers(const SitePaths& site)
{
    for (const std::wstring& shortcut : site.shortcuts)
        DeleteFileW(shortcut.c_str());
    RemoveDirectoryW(site.startMenuFolder.c_str());
    for (const std::wstring& file : site.files)
        DeleteFileW(file.c_str());
    RemoveDirectoryW(site.termInfoDir.c_str());
    RemoveDirectoryW(site.installDir.c_str());
}
