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
    std::wstring adminTools = SpecialFolder(CSIDL_COMMON_ADMINTOOLS);
    if (!adminTools.empty())
        site.shortcuts.push_back(adminTools + L"\\" + site.displayName + L" Control Panel.lnk");
    return site;
}

std::string CreationLines(const SitePaths& site)
{
    std::string lines = Line("Creating directory '" + Utf8(site.installDir) + "'") +
                        Line("Creating directory '" + Utf8(site.termInfoDir) + "'") +
                        Line("Creating directory '" + Utf8(site.startMenuFolder) + "'");
    for (const std::wstring& shortcut : site.shortcuts)
        lines += Line("Creating shortcut '" + Utf8(shortcut) + "'");
    return lines;
}

std::string RollbackLines(const SitePaths& site)
{
    std::string lines;
    for (const std::wstring& shortcut : site.shortcuts)
        lines += Line("Rollback: removing previously created shortcut '" + Utf8(shortcut) + "'");
    for (const std::wstring* directory : {&site.startMenuFolder, &site.termInfoDir, &site.installDir})
        lines += Line("Rollback: removing previously created directory '" + Utf8(*directory) + "'");
    return lines;
}

void RemoveSiteLeftovers(const SitePaths& site)
{
    for (const std::wstring& shortcut : site.shortcuts)
        DeleteFileW(shortcut.c_str());
    RemoveDirectoryW(site.startMenuFolder.c_str());
    RemoveDirectoryW(site.termInfoDir.c_str());
    RemoveDirectoryW(site.installDir.c_str());
}
