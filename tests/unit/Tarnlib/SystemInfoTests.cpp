#include "WrapperTestSupport.h"

#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/SystemInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace Tarnlib;

namespace {

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

std::wstring TempDirectory()
{
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, length);
}

// Makes a predefined root key of this process point at another key until destroyed.
class RootRedirect {
public:
    RootRedirect(HKEY root, HKEY replacement) : m_root(root)
    {
        m_ok = RegOverridePredefKey(root, replacement) == ERROR_SUCCESS;
    }
    ~RootRedirect() { RegOverridePredefKey(m_root, nullptr); }
    bool Ok() const { return m_ok; }

private:
    HKEY m_root;
    bool m_ok;
};

class SystemFacts : public testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }
};

}  // namespace

TEST(VersionComparison, FirstDifferingFieldDecides)
{
    struct Case {
        WindowsVersion a, b;
        bool atLeast, atMost, equal;
    };
    const std::vector<Case> cases = {
        {{2, 6, 1}, {2, 6, 0}, true, false, false},
        {{2, 5, 2}, {2, 6, 0}, false, true, false},
        {{1, 4, 90}, {2, 4, 0}, false, true, false},
        {{2, 4, 0}, {1, 4, 90}, true, false, false},
        {{2, 5, 2}, {2, 5, 2}, true, true, true},
        {{2, 6, 0}, {2, 5, 2}, true, false, false},
        {{2, 4, 0}, {2, 4, 0}, true, true, true},
        {{2, 4, 1}, {2, 4, 0}, true, false, false},
        {{2, 10, 0}, {2, 6, 0}, true, false, false},
        // Unsigned comparison: the largest field values stay the largest.
        {{2, 0xFFFFFFFF, 0}, {2, 1, 0}, true, false, false},
        {{2, 1, 0}, {2, 1, 0xFFFFFFFF}, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "{" << c.a.platform << "," << c.a.major << "," << c.a.minor << "} vs {"
                                        << c.b.platform << "," << c.b.major << "," << c.b.minor << "}");
        EXPECT_EQ(IsAtLeast(c.a, c.b), c.atLeast);
        EXPECT_EQ(IsAtMost(c.a, c.b), c.atMost);
        EXPECT_EQ(IsEqual(c.a, c.b), c.equal);
    }
    // The same comparisons apply to browser versions.
    EXPECT_TRUE(IsAtLeast(IEVersion{4, 71, 1712}, InternetExplorer401));
    EXPECT_FALSE(IsAtLeast(IEVersion{4, 70, 9999}, InternetExplorer401));
    EXPECT_TRUE(IsAtLeast(IEVersion{5, 0, 0}, InternetExplorer401));
}

TEST(VolumeRoot, FullPathIsCutToItsDriveOrShare)
{
    struct Case {
        std::wstring path;
        std::wstring root;
    };
    const std::vector<Case> cases = {
        {L"D:\\folder\\file.txt", L"D:\\"},
        {L"D:\\", L"D:\\"},
        {L"d:", L"d:\\"},
        {L"\\\\server\\share\\a\\b", L"\\\\server\\share\\"},
        {L"\\\\server\\share\\", L"\\\\server\\share\\"},
        {L"\\\\server\\share", L"\\\\server\\share\\"},
        {L"\\\\server", L"\\\\server\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        std::wstring storage = c.path + L"\\more";
        EXPECT_EQ(W(RootOfFullPath(wstrview(storage.c_str(), c.path.size(), false)).str()), c.root);
    }
}

TEST_F(SystemFacts, WindowsVersionIsTheOneTheSystemReports)
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExW(&info));
    WindowsVersion version = GetWindowsVersion();
    EXPECT_EQ(version.platform, info.dwPlatformId);
    EXPECT_EQ(version.major, info.dwMajorVersion);
    EXPECT_EQ(version.minor, info.dwMinorVersion);
    EXPECT_EQ(version.platform, DWORD(VER_PLATFORM_WIN32_NT));
}

TEST_F(SystemFacts, VolumeRootIsTheStartOfThePathWithABackslash)
{
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring temp = TempDirectory();
    for (const wchar_t* path : {static_cast<const wchar_t*>(nullptr), temp.c_str()}) {
        std::wstring full = path ? std::wstring(path) : std::wstring(current) + L"\\";
        SCOPED_TRACE(std::string(full.begin(), full.end()));
        std::wstring root = W(GetVolumeRoot(path).str());
        ASSERT_FALSE(root.empty());
        EXPECT_EQ(root.back(), L'\\');
        EXPECT_TRUE(StartsWithNoCase(full, root)) << std::string(root.begin(), root.end());
    }
}

TEST_F(SystemFacts, VolumeQueriesRaiseSystemErrors)
{
    const std::wstring temp = TempDirectory();
    EXPECT_NO_THROW(GetVolumeFlags(temp.c_str()));

    struct Case {
        const char* failing;
        const wchar_t* context;
    };
    const std::vector<Case> cases = {
        {"GetVolumePathNameW", L"GetVolumePathNameW()"},
        {"GetVolumeInformationW", L"GetVolumeInformationW()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        FaultSeam::Reset();
        FaultSeam::Arm(c.failing, 1, ERROR_ACCESS_DENIED);
        try {
            GetVolumeFlags(temp.c_str());
            ADD_FAILURE() << "the injected failure was not raised";
        } catch (const SystemError& e) {
            EXPECT_EQ(W(e.Context()), c.context);
            EXPECT_EQ(e.Code(), DWORD(ERROR_ACCESS_DENIED));
        }
    }
}

TEST_F(SystemFacts, ProgramFilesComesFromTheRegistryWithAFixedFallback)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                            &key),
              ERROR_SUCCESS);
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    LONG status = RegQueryValueExW(key, L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
    ASSERT_NE(value[0], 0);

    EXPECT_EQ(W(ProgramFilesFolder().str()), std::wstring(value));
    FaultSeam::Arm("RegOpenKeyExW", 1, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(W(ProgramFilesFolder().str()), L"C:\\Program Files");
}

TEST_F(SystemFacts, SystemFolderIsTheSystemDirectoryOrEmpty)
{
    wchar_t directory[MAX_PATH + 1] = {};
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(W(SystemFolder().str()), std::wstring(directory, length));
    FaultSeam::Arm("GetSystemDirectoryW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(W(SystemFolder().str()), L"");
}

TEST_F(SystemFacts, SpecialFoldersAreTheShellFolders)
{
    ASSERT_TRUE(IsAtLeast(GetIEVersion(), InternetExplorer401)) << "the shell's folders are not used here";
    struct Case {
        const char* name;
        std::function<wstring_nc()> folder;
        int csidl;
    };
    const std::vector<Case> cases = {
        {"UserProgramsFolder", UserProgramsFolder, CSIDL_PROGRAMS},
        {"CommonProgramsFolder", CommonProgramsFolder, CSIDL_COMMON_PROGRAMS},
        {"CommonAdminToolsFolder", CommonAdminToolsFolder, CSIDL_COMMON_ADMINTOOLS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t expected[MAX_PATH + 1] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, expected, c.csidl, FALSE));
        std::wstring folder = W(c.folder().str());
        EXPECT_FALSE(folder.empty());
        EXPECT_EQ(folder, std::wstring(expected));
    }
}

// The registry sources behind the shell: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are redirected to
// scratch keys holding only the values of each case, and the shell's lookup fails.
TEST_F(SystemFacts, SpecialFoldersFallBackToTheRegistry)
{
    GetIEVersion();  // read from the real registry before it is redirected
    // Windows 2000 and XP compute the folder from the common Programs folder; later ones do not.
    const WindowsVersion version = GetWindowsVersion();
    const std::wstring computedAdminTools =
        IsAtLeast(version, Windows2000) && IsAtMost(version, WindowsXP) ? L"Q:\\Common\\Administrative Tools" : L"";
    const std::wstring shellFolders = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::wstring userShellFolders =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    struct Value {
        bool machine;  // HKEY_LOCAL_MACHINE, else HKEY_CURRENT_USER
        std::wstring key;
        std::wstring name;
        std::wstring data;
    };
    struct Case {
        const char* name;
        std::vector<Value> values;
        std::function<wstring_nc()> folder;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {"user: Shell Folders first",
         {{false, shellFolders, L"Programs", L"P:\\Shell"}, {false, userShellFolders, L"Programs", L"P:\\User"}},
         UserProgramsFolder, L"P:\\Shell"},
        {"user: then User Shell Folders", {{false, userShellFolders, L"Programs", L"P:\\User"}}, UserProgramsFolder,
         L"P:\\User"},
        {"user: nothing", {}, UserProgramsFolder, L""},
        {"common: machine value",
         {{true, shellFolders, L"Common Programs", L"Q:\\Common"}, {false, shellFolders, L"Programs", L"P:\\Shell"}},
         CommonProgramsFolder, L"Q:\\Common"},
        {"common: then the user's", {{false, shellFolders, L"Programs", L"P:\\Shell"}}, CommonProgramsFolder,
         L"P:\\Shell"},
        {"admin tools: machine value", {{true, shellFolders, L"Common Administrative Tools", L"Q:\\Admin"}},
         CommonAdminToolsFolder, L"Q:\\Admin"},
        {"admin tools: computed only on 2000 and XP", {{true, shellFolders, L"Common Programs", L"Q:\\Common"}},
         CommonAdminToolsFolder, computedAdminTools},
        {"admin tools: nothing", {}, CommonAdminToolsFolder, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey user(CurrentTestName() + L".user");
        ScratchKey machine(CurrentTestName() + L".machine");
        for (const Value& v : c.values) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExW((v.machine ? machine : user).Key(), v.key.c_str(), 0, nullptr, 0,
                                      KEY_SET_VALUE, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExW(key, v.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.data.c_str()),
                           DWORD((v.data.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
        std::wstring folder;
        {
            RootRedirect redirectUser(HKEY_CURRENT_USER, user.Key());
            RootRedirect redirectMachine(HKEY_LOCAL_MACHINE, machine.Key());
            ASSERT_TRUE(redirectUser.Ok() && redirectMachine.Ok());
            FaultSeam::Reset();
            for (unsigned nth = 1; nth <= 3; ++nth)
                FaultSeam::Arm("SHGetSpecialFolderPathW", nth, ERROR_ACCESS_DENIED);
            folder = W(c.folder().str());
            FaultSeam::Reset();
        }
        EXPECT_EQ(folder, c.expected);
    }
}
