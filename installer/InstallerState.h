// The site names every run starts from, and the product version.
#pragma once

#include "NoCrtLib/NoCrtString.h"
#include "InstallLib/InstallerState.h"
#include "Tarnlib/LazySingleton.h"

struct DefaultSiteNames : Tarnlib::LazySingleton<DefaultSiteNames> {
    wstring_nc defaultSiteName{L"Korvane SSH Server"_v};
    wstring_nc siteNamePrefix{L"Korvane SSH Server - "_v};
    wstring_nc legacySiteName{L"Portiko"_v};
    wstring_nc legacySiteNamePrefix{L"Portiko-"_v};
};

