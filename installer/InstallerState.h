// The process-wide records of a run.
#pragma once

#include "NoCrtLib/NoCrtString.h"
#include "Tarnlib/LazySingleton.h"

inline constexpr wstrview ProductVersion = L"5.59"_v;

struct DefaultSiteNames : Tarnlib::LazySingleton<DefaultSiteNames> {
    wstring_nc defaultSiteName{L"Korvane SSH Server"_v};
    wstring_nc siteNamePrefix{L"Korvane SSH Server - "_v};
    wstring_nc legacySiteName{L"Portiko"_v};
    wstring_nc legacySiteNamePrefix{L"Portiko-"_v};
};

struct InstallerState : Tarnlib::LazySingleton<InstallerState> {
    bool interactive = true;
    bool force = false;
    bool noRollback = false;
    bool acceptEULA = false;
    wstring_nc installDir;
    wstring_nc uninstallParams;
    wstring_nc uninstallerPath;
};

struct InstallerState2 : Tarnlib::LazySingleton<InstallerState2> {
    wstring_nc settings;
    bool startService = false;
    bool startKssCtrl = false;
    bool ctrlPanelWasRunning = false;
};
