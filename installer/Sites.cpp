#include "Sites.h"

#include "InstallLib/ProductKey.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/Paths.h"
#include "NoCrtLib/Sha1.h"
#include "NoCrtLib/TextConvert.h"
#include "Tarnlib/Registry.h"
#include "Tarnlib/SystemInfo.h"
#include "Tarnlib/WinSecurity.h"

#include <initializer_list>

using namespace Tarnlib;

namespace {


wstrview After(wstrview text, wstrview prefix) { return text.substr(prefix.len); }

// The first `bytes` bytes of the SHA-1 of the trimmed UTF-8 name, as upper-case hexadecimal.
wstring_nc HashedNamePart(wstrview name, unsigned bytes)
{
    auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    while (name.len > 0 && isBlank(name.ptr[0]))
        name = name.substr(1);
    while (name.len > 0 && isBlank(name.ptr[name.len - 1]))
        name = name.substr(0, name.len - 1);
    astring_nc utf8 = WideToNarrow(name, CP_UTF8);
    Sha1 sha1;
    sha1.Update(utf8.c_str(), utf8.length());
    return Sha1HexText(sha1.Final()).substr(0, bytes * 2);
}

wstring_nc UninstallKeyOf(wstrview displayName) { return JoinPath(UninstallKey, displayName); }

// The text before the last backslash; false when there is no backslash.
bool BeforeLastBackslash(wstrview path, wstrview& before)
{
    for (ncsize_t i = path.len; i > 0; --i)
        if (path.ptr[i - 1] == L'\\') {
            before = path.substr(0, i - 1);
            return true;
        }
    return false;
}

// The directory of the uninstaller named first, in double quotes, by an uninstall command.
wstring_nc DirectoryOfUninstallCommand(wstrview command)
{
    if (command.empty() || command.ptr[0] != L'"')
        throw WStrException(L"Invalid uninstallation data."_v);
    wstrview path = command.substr(1);
    for (ncsize_t i = 0; i < path.len; ++i)
        if (path.ptr[i] == L'"') {
            path = path.substr(0, i);
            break;
        }
    wstrview directory;
    if (!BeforeLastBackslash(path, directory) || directory.empty())
        throw WStrException(L"Invalid uninstallation data."_v);
    return wstring_nc(directory);
}

// The other generation's name of an Uninstall subkey; false when the subkey is no site.
bool OtherGenerationName(wstrview key, wstring_nc& otherName)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    if (EqualsNoCase(key, names.defaultSiteName.str()))
        otherName = names.legacySiteName;
    else if (EqualsNoCase(key, names.legacySiteName.str()))
        otherName = names.defaultSiteName;
    else if (StartsWithNoCase(key, names.siteNamePrefix.str()))
        otherName = names.legacySiteNamePrefix + After(key, names.siteNamePrefix);
    else if (StartsWithNoCase(key, names.legacySiteNamePrefix.str()))
        otherName = names.siteNamePrefix + After(key, names.legacySiteNamePrefix);
    else
        return false;
    return true;
}

// Reads one Uninstall subkey; false when it is no readable site.
bool ReadInstalledSite(wstrview keyName, InstalledSite& site)
{
    if (!OtherGenerationName(keyName, site.otherName))
        return false;
    site.name = keyName;
    if (!ReadUninstallValue(keyName, L"Version"_v, site.version))
        return false;
    ReadUninstallValue(keyName, L"VersionInfo"_v, site.versionInfo);
    if (ReadUninstallValue(keyName, L"InstallDir"_v, site.installDir))
        return true;
    wstring_nc uninstallString;
    if (!ReadUninstallValue(keyName, L"UninstallString"_v, uninstallString))
        return false;
    try {
        site.installDir = DirectoryOfUninstallCommand(uninstallString);
    } catch (const WStrException&) {
        return false;
    }
    return true;
}

}  // namespace

bool IsSiteNameCharacter(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'-' ||
           c == L'_';
}

bool InstalledSite::IsNamed(wstrview displayName) const
{
    return EqualsNoCase(name.str(), displayName) || EqualsNoCase(otherName.str(), displayName);
}

bool ReadUninstallValue(wstrview registeredName, wstrview valueName, wstring_nc& value)
{
    CRegRead<0, NoView> read(RegLocation::Machine(UninstallKeyOf(registeredName)), valueName, value);
    return read.Succeeded();
}

wstrview ObjectNamePrefixFor(const WindowsVersion& version)
{
    return IsAtLeast(version, Windows2000) ? L"Global\\Korvane"_v : L"Korvane"_v;
}

wstring_nc FilterSiteName(wstrview name)
{
    wstring_nc filtered;
    for (ncsize_t i = 0; i < name.len; ++i)
        if (IsSiteNameCharacter(name.ptr[i]))
            filtered.append(name.ptr[i]);
    return filtered;
}

wstring_nc InstallerDirectory()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wstrview directory;
    if (!BeforeLastBackslash(wstrview(path, length, true), directory))
        return wstring_nc(L"."_v);
    return wstring_nc(directory);
}

SiteInfo::SiteInfo()
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    wstring_nc directory = InstallerDirectory();
    wstring_nc lastComponent = SplitPath(directory.str()).lastComponent;
    wstrview component = lastComponent.str();
    wstring_nc site;
    if (component.len > names.siteNamePrefix.length() && StartsWithNoCase(component, names.siteNamePrefix.str()))
        site = After(component, names.siteNamePrefix);
    else if (component.len > names.legacySiteNamePrefix.length() &&
             StartsWithNoCase(component, names.legacySiteNamePrefix.str()))
        site = After(component, names.legacySiteNamePrefix);
    Set(FilterSiteName(site.str()));
}

void SiteInfo::Set(wstrview name)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    wstrview siteName = name;
    if (StartsWithNoCase(name, names.defaultSiteName.str())) {
        wstrview rest = After(name, names.defaultSiteName);
        if (rest.empty())
            siteName = rest;
        else if (rest.ptr[0] == L'-')
            siteName = rest.substr(1);
        else if (CompareText(rest.substr(0, 3), L" - "_v) == 0)
            siteName = rest.substr(3);
    }
    wstring_nc site = FilterSiteName(siteName);
    if (site.empty()) {
        displayName = names.defaultSiteName;
        serviceName = DefaultServiceName;
        legacyName = names.legacySiteName;
    } else {
        displayName = names.defaultSiteName + L" - "_v + site;
        serviceName = DefaultServiceName + L"-"_v + site;
        legacyName = names.legacySiteName + L"-"_v + site;
    }
    if (!ReadUninstallValue(displayName, L"InstallDir"_v, installDir))
        installDir = InstallerDirectory();
    settingsKey = JoinPath(ProductKey, serviceName);

    wstrview prefix = ObjectNamePrefixFor(GetWindowsVersion());
    configChangeEvent = prefix + serviceName + L"ConfigChangeEvent"_v;
    regChangeEvent = prefix + serviceName + L"RegChangeKeyValueEvent"_v;
    sessionTable = prefix + serviceName + L"SessionTable"_v;
    tunnelTable = prefix + serviceName + L"TunnelTable"_v;
    localCtrlPipe = L"\\\\.\\pipe\\"_v + serviceName + L"LocalCtrlPipe"_v;

    if (site.empty()) {
        virtualUsersGroup = L"KvSsh_VirtualUsers"_v;
        legacyVirtualUsersGroup = L"Portiko_VirtualUsers"_v;
        return;
    }
    virtualUsersGroup = L"KvSsh_"_v + (site.length() > 14 ? HashedNamePart(serviceName, 7) : site);
    legacyVirtualUsersGroup =
        site.length() > 12 ? L"Portiko_"_v + HashedNamePart(legacyName, 6) : wstring_nc(legacyName);
}

InstalledSites ListInstalledSites()
{
    ncvector<wstring_nc> keyNames;
    try {
        CRegList<1, NoView> list(RegLocation::Machine(UninstallKey), keyNames);
    } catch (const std::exception&) {
        // The names listed before the failure are still examined.
    }
    InstalledSites sites;
    for (ncsize_t i = 0; i < keyNames.size(); ++i) {
        InstalledSite site;
        if (ReadInstalledSite(keyNames[i].str(), site))
            sites.push_back(site);
    }
    return sites;
}

wstring_nc SiteDisplayNameFromDir(wstrview dir)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    wstring_nc lastComponent = SplitPath(dir).lastComponent;
    wstrview last = lastComponent.str();
    if (StartsWithNoCase(last, names.siteNamePrefix.str()))
        return names.siteNamePrefix + After(last, names.siteNamePrefix);
    if (StartsWithNoCase(last, names.legacySiteNamePrefix.str()))
        return names.siteNamePrefix + After(last, names.legacySiteNamePrefix);
    return names.defaultSiteName;
}

wstring_nc RegisteredSiteName(wstrview dir, const InstalledSites& sites)
{
    wstring_nc displayName = SiteDisplayNameFromDir(dir);
    for (ncsize_t i = 0; i < sites.size(); ++i)
        if (sites[i].IsNamed(displayName.str()))
            return sites[i].name;
    return displayName;
}

wstring_nc SanitizeSiteName(wstrview name)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    if (EqualsNoCase(name, names.defaultSiteName.str()) || EqualsNoCase(name, names.legacySiteName.str()))
        return wstring_nc(name);
    for (const wstring_nc* prefix : {&names.legacySiteNamePrefix, &names.siteNamePrefix}) {
        if (!StartsWithNoCase(name, prefix->str()))
            continue;
        wstring_nc rest = FilterSiteName(After(name, prefix->str()));
        if (!rest.empty())
            return *prefix + rest;
    }
    return names.defaultSiteName;
}

wstring_nc ServiceNameForSite(wstrview displayName)
{
    const DefaultSiteNames& names = DefaultSiteNames::Instance();
    if (StartsWithNoCase(displayName, names.siteNamePrefix.str()))
        return DefaultServiceName + L"-"_v + After(displayName, names.siteNamePrefix);
    if (EqualsNoCase(displayName, names.defaultSiteName.str()))
        return wstring_nc(DefaultServiceName);
    return wstring_nc(displayName);
}

wstring_nc ContinuationValueName(wstrview siteName) { return siteName + L" Installer"_v; }

HKEY OpenOrCreateSiteKey(wstrview name)
{
    wstring_nc path = JoinPath(ProductKey, name);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS)
        return key;

    wstring_nc productKey(ProductKey);
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS)
        throw SystemError(L"RegCreateKeyEx() for "_v + productKey, DWORD(status));
    RegCloseKey(key);

    Sid localSystem = Sid::LocalSystem();
    Sid administrators = Sid::Administrators();
    AccessEntries entries;
    AddAccessEntry(entries, KEY_ALL_ACCESS, localSystem);
    AddAccessEntry(entries, KEY_ALL_ACCESS, administrators);
    AclHolder acl;
    SetEntriesInAcl(acl, entries);
    SecurityDescriptor descriptor;
    descriptor.SetDacl(acl.Get());
    SECURITY_ATTRIBUTES attributes = descriptor.Attributes();
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, &attributes, &key,
                             nullptr);
    if (status != ERROR_SUCCESS)
        throw SystemError(L"RegCreateKeyEx() for "_v + path, DWORD(status));
    return key;
}
