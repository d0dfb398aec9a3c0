// The process-wide records of a run that the steps and the operations share.
#pragma once

#include "NoCrtLib/NoCrtString.h"
#include "Tarnlib/LazySingleton.h"

inline constexpr wstrview ProductVersion = L"5.59"_v;

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
