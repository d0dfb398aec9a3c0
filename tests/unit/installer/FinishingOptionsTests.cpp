#include "installer/Options.h"

#include <gtest/gtest.h>

#include <string>

TEST(FinishingOptions, AreReadAndTheSettingsFileIsMadeAbsolute)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring directory(temp);
    if (directory.back() == L'\\')
        directory.pop_back();
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(directory.c_str());

    CmdLine cmdLine{L"prog.exe -site=web -settings=conf.kst -startService"_v};
    InstallerState2& state = InstallerState2::Instance();
    state.settings.clear();
    state.startService = state.startKssCtrl = false;
    ReadFinishingOptions(cmdLine, state);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(std::wstring(state.settings.c_str()), directory + L"\\conf.kst");
    EXPECT_TRUE(state.startService);
    EXPECT_FALSE(state.startKssCtrl);
    EXPECT_TRUE(cmdLine.IsFlag(L"startService"_v, false));
    try {
        cmdLine.CheckAllUsed();
        ADD_FAILURE() << "-site was not read here and must be reported";
    } catch (const CmdLine::Err& error) {
        EXPECT_EQ(std::wstring(error.Description().ptr, error.Description().len),
                  L"Unexpected command parameter: -site=web.");
    }
}
