// Sites: the naming rules of one site's names, the installed sites, and name conversions.
#pragma once

#include "InstallerState.h"

#include "NoCrtLib/NoCrtVector.h"
#include "Tarnlib/LazySingleton.h"
#include "Tarnlib/SystemInfo.h"

#include <windows.h>

inline constexpr wstrview DefaultServiceName = L"KvSshServer"_v;
inline constexpr wstrview UninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"_v;

// One site registered under the Uninstall key.
struct InstalledSite {
    wstring_nc name;       // its key name, as found
    wstring_nc otherName;  // the same site in the other naming generation
    wstring_nc installDir;
    wstring_nc version;
    wstring_nc versionInfo;

    // Whether the display name names this site, in either naming generation.
    bool IsNamed(wstrview displayName) const;
};

typedef ncvector<InstalledSite> InstalledSites;

// The names of the current site.
struct SiteInfo : Tarnlib::LazySingleton<SiteInfo> {
    SiteInfo();
    // Makes `name` (a display name, a legacy name or a bare site name) the current site.
    void Set(wstrview name);

    wstring_nc displayName;
    wstring_nc serviceName;
    wstring_nc legacyName;
    wstring_nc installDir;
    wstring_nc settingsKey;
    wstring_nc configChangeEvent;
    wstring_nc regChangeEvent;
    wstring_nc localCtrlPipe;
    wstring_nc sessionTable;
    wstring_nc tunnelTable;
    wstring_nc virtualUsersGroup;
    wstring_nc legacyVirtualUsersGroup;
};

// "Global\Korvane" on Windows 2000 and later, "Korvane" before: the start of the site's
// event and table names.
wstrview ObjectNamePrefixFor(const Tarnlib::WindowsVersion& version);
// The characters of site names: 0-9, A-Z, a-z, "-" and "_".
bool IsSiteNameCharacter(wchar_t c);
// Keeps only the site-name characters.
wstring_nc FilterSiteName(wstrview name);
InstalledSites ListInstalledSites();
// Reads a string value of a registered site's Uninstall key; false when missing or unreadable.
bool ReadUninstallValue(wstrview registeredName, wstrview valueName, wstring_nc& value);
wstring_nc SiteDisplayNameFromDir(wstrview dir);
wstring_nc RegisteredSiteName(wstrview dir, const InstalledSites& sites);
wstring_nc SanitizeSiteName(wstrview name);
wstring_nc ServiceNameForSite(wstrview displayName);
// Opens or creates HKLM "SOFTWARE\Korvane\<name>"; the caller closes the key.
HKEY OpenOrCreateSiteKey(wstrview name);
// The value name of the reinstallation continuation under the Run key.
wstring_nc ContinuationValueName(wstrview siteName);
// The directory part of this program's own path ("." when it has none).
wstring_nc InstallerDirectory();
