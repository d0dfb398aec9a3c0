#include "Options.h"

#include "ExitCodes.h"
#include "Sites.h"

#include "InstallLib/RunExit.h"
#include "NoCrtLib/Paths.h"
#include "Tarnlib/Files.h"
#include "Tarnlib/SystemInfo.h"

namespace {

bool ContainsSiteNameCharacter(wstrview text)
{
    for (ncsize_t i = 0; i < text.len; ++i)
        if (IsSiteNameCharacter(text.ptr[i]))
            return true;
    return false;
}

// The display name of the site named by -site=.
wstring_nc DisplayNameOfSiteOption(wstrview value)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    if (EqualsNoCase(value, names.defaultSiteName.str()) || EqualsNoCase(value, names.legacySiteName.str()))
        return names.defaultSiteName;
    wstrview rest = value;
    if (StartsWithNoCase(value, names.siteNamePrefix.str()))
        rest = value.substr(names.siteNamePrefix.length());
    else if (StartsWithNoCase(value, names.legacySiteNamePrefix.str()))
        rest = value.substr(names.legacySiteNamePrefix.length());
    if (rest.empty() || !ContainsSiteNameCharacter(rest))
        throw CmdLine::Err(L"The '-siteName' parameter is either empty or consists of invalid characters."_v);
    return names.siteNamePrefix + rest;
}

wstring_nc ReadSiteDisplayName(CmdLine& cmdLine)
{
    wstring_nc site;
    if (cmdLine.GetValue(L"site"_v, site))
        return DisplayNameOfSiteOption(site.str());
    if (cmdLine.IsFlag(L"defaultSite"_v, true))
        return DefaultSiteNames::Instance().defaultSiteName;
    return wstring_nc();
}

wstring_nc CheckSiteAgainstDirectory(wstrview displayName, wstrview installDir)
{
    if (displayName.empty() && installDir.empty())
        throw CmdLine::Err(L"Missing '-installDir' or '-site' parameter."_v);
    wstring_nc fromDirectory = SiteDisplayNameFromDir(installDir);
    if (displayName.empty())
        return fromDirectory;
    if (!installDir.empty() && !EqualsNoCase(fromDirectory.str(), displayName))
        throw CmdLine::Err(L"Mismatching '-installDir' and '-site' parameters."_v);
    return wstring_nc(displayName);
}

void CheckAgainstInstalledSites(wstrview displayName, wstring_nc& installDir)
{
    InstalledSites sites = ListInstalledSites();
    if (!installDir.empty()) {
        for (ncsize_t i = 0; i < sites.size(); ++i)
            if (sites[i].IsNamed(displayName) && !EqualsNoCase(sites[i].installDir.str(), installDir.str()))
                throw CmdLine::Err(
                    L"The provided '-installDir' parameter points to a site which is already\n"
                    L"installed in a different directory. Remove the existing site installation\n"
                    L"before attempting to install into the specified directory."_v);
        return;
    }
    for (ncsize_t i = 0; i < sites.size(); ++i)
        if (sites[i].IsNamed(displayName)) {
            installDir = sites[i].installDir;
            return;
        }
    installDir = JoinPath(Tarnlib::ProgramFilesFolder().str(), displayName);
}

}  // namespace

void ReadInstallerOptions(CmdLine& cmdLine, InstallerState& state)
{
    if (cmdLine.PositionalCount() <= 1 && cmdLine.OptionCount() == 0) {
        state.interactive = true;
        return;
    }
    state.interactive = false;
    if (cmdLine.IsHelp())
        throw SilentExit(ExitHelp);
    if (cmdLine.IsFlag(L"interactive"_v, true))
        state.interactive = true;
    if (cmdLine.IsFlag(L"force"_v, true))
        state.force = true;
    if (cmdLine.IsFlag(L"noRollback"_v, true))
        state.noRollback = true;
    if (cmdLine.IsFlag(L"acceptEULA"_v, true))
        state.acceptEULA = true;
    cmdLine.GetValue(L"installDir"_v, state.installDir);

    wstring_nc displayName = ReadSiteDisplayName(cmdLine);
    displayName = CheckSiteAgainstDirectory(displayName.str(), state.installDir.str());
    CheckAgainstInstalledSites(displayName.str(), state.installDir);
}

void ReadFinishingOptions(CmdLine& cmdLine, InstallerState2& state)
{
    if (cmdLine.IsFlag(L"startService"_v, true))
        state.startService = true;
    if (cmdLine.IsFlag(L"startKssCtrl"_v, true))
        state.startKssCtrl = true;
    if (!cmdLine.GetValue(L"settings"_v, state.settings))
        return;
    wstring_nc absolute;
    if (Tarnlib::CPathMakeAbs<0>(state.settings.str(), absolute).Succeeded())
        state.settings = absolute;
}
