#include "../NoCrtLib/TestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/DllLoader.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Wow64.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Tarnlib;

namespace {

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return wchar_t(towlower(c)); });
    return text;
}

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring Wow64SystemDirectory()
{
    wchar_t directory[MAX_PATH + 1] = {};
    UINT length = ::GetSystemWow64DirectoryW(directory, MAX_PATH);
    return std::wstring(directory, length);
}

// Where a 32-bit program's system DLLs live: SysWOW64 under WOW64, else the system directory.
std::wstring ThirtyTwoBitSystemDirectory()
{
    std::wstring directory = Wow64SystemDirectory();
    if (directory.empty()) {
        wchar_t system[MAX_PATH + 1] = {};
        directory.assign(system, ::GetSystemDirectoryW(system, MAX_PATH));
    }
    return directory;
}

#define SKIP_UNLESS_WOW64()                           \
    if (!Wow64::IsCurrentProcessWow64())              \
    GTEST_SKIP() << "needs a 32-bit process on 64-bit Windows"

std::wstring SystemDirectory()
{
    wchar_t directory[MAX_PATH + 1] = {};
    UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory, length);
}

std::wstring Joined(const std::wstring& directory, const std::wstring& name)
{
    return directory.back() == L'\\' ? directory + name : directory + L"\\" + name;
}

class SeamReset : public testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }
};

class DllLoading : public SeamReset {};
class Wow64Functions : public SeamReset {};

// Process-wide test objects whose construction can be counted, slowed down or made to fail.
std::atomic<int> g_slowConstructions{0};
struct SlowSingleton : LazySingleton<SlowSingleton> {
    SlowSingleton()
    {
        ++g_slowConstructions;
        Sleep(100);
    }
};

int g_failingAttempts = 0;
struct FailsFirstSingleton : LazySingleton<FailsFirstSingleton> {
    FailsFirstSingleton()
    {
        if (++g_failingAttempts == 1)
            throw std::runtime_error("first construction fails");
    }
};

}  // namespace

TEST_F(DllLoading, SystemDllsComeFromThe32BitSystemDirectory)
{
    SKIP_UNLESS_WOW64();
    const std::wstring directory = Wow64SystemDirectory();
    ASSERT_FALSE(directory.empty());
    // DLLs this test program does not import, so that the module's name is the path loaded.
    struct Case {
        const wchar_t* name;
        std::function<std::unique_ptr<DllLoader>()> make;
    };
    const std::vector<Case> cases = {
        {L"KtmW32.dll", [] { return std::make_unique<KtmW32Dll>(); }},
        {L"wtsapi32.dll",
         [] {
             return std::make_unique<DllLoader>(L"wtsapi32.dll"_v, DllLoader::FullPath | DllLoader::SystemDirectory);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        std::unique_ptr<DllLoader> loader = c.make();
        ASSERT_NE(loader->Module(), nullptr);
        std::wstring path = Lower(ModulePath(loader->Module()));
        EXPECT_NE(path.find(L"syswow64"), std::wstring::npos) << std::string(path.begin(), path.end());
        EXPECT_EQ(path, Lower(Joined(directory, c.name)));
    }
}

TEST_F(DllLoading, NamedLoadersGiveTheModulesThisProcessUses)
{
    struct Case {
        const wchar_t* name;
        std::function<std::unique_ptr<DllLoader>()> make;
    };
    const std::vector<Case> cases = {
        {L"advapi32.dll", [] { return std::make_unique<Advapi32Dll>(); }},
        {L"kernel32.dll", [] { return std::make_unique<Kernel32Dll>(); }},
        {L"shell32.dll", [] { return std::make_unique<Shell32Dll>(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        std::unique_ptr<DllLoader> loader = c.make();
        EXPECT_NE(loader->Module(), nullptr);
        EXPECT_EQ(loader->Module(), GetModuleHandleW(c.name));
    }
}

TEST_F(DllLoading, MissingDllIsAnErrorOnlyWhenRequired)
{
    const std::wstring inSystem = Joined(ThirtyTwoBitSystemDirectory(), L"KvNoSuchLibrary.dll");
    struct Case {
        unsigned flags;
        std::wstring path;  // empty: optional, no exception
    };
    const std::vector<Case> cases = {
        {DllLoader::Optional | DllLoader::FullPath | DllLoader::SystemDirectory, L""},
        {DllLoader::Optional, L""},
        {DllLoader::FullPath | DllLoader::SystemDirectory, inSystem},
        {DllLoader::FullPath, L"KvNoSuchLibrary.dll"},
        {DllLoader::SystemDirectory, L"KvNoSuchLibrary.dll"},
        {0, L"KvNoSuchLibrary.dll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        if (c.path.empty()) {
            DllLoader loader(L"KvNoSuchLibrary.dll"_v, c.flags);
            EXPECT_EQ(loader.Module(), nullptr);
            EXPECT_EQ(loader.FindProcAddress("Anything"), nullptr);
            continue;
        }
        try {
            DllLoader loader(L"KvNoSuchLibrary.dll"_v, c.flags);
            ADD_FAILURE() << "loading a missing DLL did not throw";
        } catch (const SystemError& e) {
            std::wstring context = L"LoadLibraryEx(" + c.path + L")";
            EXPECT_EQ(W(e.Context()), context);
            EXPECT_EQ(e.Code(), DWORD(ERROR_MOD_NOT_FOUND));
            EXPECT_EQ(W(e.Description()), context + L" failed: " + W(WinErrorDescription(e.Code()).str()));
        }
    }
}

TEST_F(DllLoading, WithoutTheWow64FunctionTheSystemDirectoryIsUsed)
{
    FaultSeam::Arm("GetSystemWow64DirectoryW", 1, 0);
    try {
        DllLoader loader(L"KvNoSuchLibrary.dll"_v, DllLoader::FullPath | DllLoader::SystemDirectory);
        FAIL() << "loading a missing DLL did not throw";
    } catch (const SystemError& e) {
        EXPECT_EQ(W(e.Context()), L"LoadLibraryEx(" + Joined(SystemDirectory(), L"KvNoSuchLibrary.dll") + L")");
    }
}

TEST_F(DllLoading, UnknownSystemDirectoryIsAnErrorOnlyWhenRequired)
{
    for (unsigned flags : {unsigned(DllLoader::FullPath | DllLoader::SystemDirectory),
                           unsigned(DllLoader::Optional | DllLoader::FullPath | DllLoader::SystemDirectory)}) {
        SCOPED_TRACE(flags);
        FaultSeam::Reset();
        FaultSeam::Arm("GetSystemWow64DirectoryW", 1, 0);
        FaultSeam::Arm("GetSystemDirectoryW", 1, ERROR_ACCESS_DENIED);
        try {
            DllLoader loader(L"Advapi32.dll"_v, flags);
            EXPECT_TRUE(flags & DllLoader::Optional) << "a required DLL was loaded without its directory";
            EXPECT_EQ(loader.Module(), nullptr);
        } catch (const SystemError& e) {
            EXPECT_FALSE(flags & DllLoader::Optional) << "an optional DLL threw";
            EXPECT_EQ(W(e.Context()), L"GetSystemDirectory()");
            EXPECT_EQ(e.Code(), DWORD(ERROR_ACCESS_DENIED));
        }
    }
}

TEST_F(DllLoading, FunctionLookupNamesAMissingFunction)
{
    Advapi32Dll advapi;
    EXPECT_EQ(reinterpret_cast<void*>(advapi.GetProcAddress("RegOpenKeyExW")),
              reinterpret_cast<void*>(::GetProcAddress(advapi.Module(), "RegOpenKeyExW")));
    EXPECT_EQ(advapi.FindProcAddress("NoSuchFunction"), nullptr);

    struct Case {
        const char* name;
        std::wstring shown;
    };
    const std::vector<Case> cases = {
        {"NoSuchFunction", L"NoSuchFunction"},
        {"F\xC3\xBCnf", L"F\u00FCnf"},  // the name is UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            advapi.GetProcAddress(c.name);
            ADD_FAILURE() << "a missing function was found";
        } catch (const SystemError& e) {
            EXPECT_EQ(W(e.Context()), L"GetProcAddress(" + c.shown + L")");
            EXPECT_EQ(e.Code(), DWORD(ERROR_PROC_NOT_FOUND));
            EXPECT_EQ(W(e.Description()),
                      L"GetProcAddress(" + c.shown + L") failed: Windows error 127: " + W(WinErrorText(127).str()));
        }
    }
}

TEST(LazySingletons, DirectConstructionIsRefused)
{
    EXPECT_THROW(DelayLoadKtmW32Dll direct, LazySingleton<DelayLoadKtmW32Dll>::IncorrectInstantiation);
    DelayLoadKtmW32Dll& first = DelayLoadKtmW32Dll::Instance();
    EXPECT_EQ(&first, &DelayLoadKtmW32Dll::Instance());
    // Still refused once the instance exists, and on another thread.
    EXPECT_THROW(DelayLoadKtmW32Dll direct, LazySingleton<DelayLoadKtmW32Dll>::IncorrectInstantiation);
    bool refused = false;
    std::thread([&] {
        try {
            DelayLoadAdvapi32Dll direct;
        } catch (const LazySingleton<DelayLoadAdvapi32Dll>::IncorrectInstantiation&) {
            refused = true;
        }
    }).join();
    EXPECT_TRUE(refused);
    EXPECT_NE(DelayLoadAdvapi32Dll::Instance().Module(), nullptr);
}

TEST(LazySingletons, ConcurrentFirstCallsCreateOneInstance)
{
    std::vector<SlowSingleton*> seen(6, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &SlowSingleton::Instance(); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(g_slowConstructions.load(), 1);
    for (SlowSingleton* instance : seen)
        EXPECT_EQ(instance, &SlowSingleton::Instance());
}

TEST(LazySingletons, FailedCreationLeavesNoDoorOpen)
{
    EXPECT_THROW(FailsFirstSingleton::Instance(), std::runtime_error);
    // The failed attempt must not leave this thread marked as the creator.
    EXPECT_THROW(FailsFirstSingleton direct, LazySingleton<FailsFirstSingleton>::IncorrectInstantiation);
    FailsFirstSingleton& instance = FailsFirstSingleton::Instance();
    EXPECT_EQ(&instance, &FailsFirstSingleton::Instance());
    EXPECT_EQ(g_failingAttempts, 2);
}

TEST_F(Wow64Functions, PresentFunctionsReportThe64BitSystem)
{
    SKIP_UNLESS_WOW64();
    BOOL isWow64 = FALSE;
    EXPECT_TRUE(Wow64::IsWow64Process(GetCurrentProcess(), &isWow64));
    EXPECT_TRUE(isWow64);
    EXPECT_TRUE(Wow64::IsCurrentProcessWow64());

    wchar_t buffer[MAX_PATH] = {};
    UINT length = Wow64::GetSystemWow64DirectoryW(buffer);
    EXPECT_EQ(std::wstring(buffer, length), Wow64SystemDirectory());

    void* old = nullptr;
    ASSERT_TRUE(Wow64::Wow64DisableWow64FsRedirection(&old));
    EXPECT_TRUE(Wow64::Wow64RevertWow64FsRedirection(old));

    SYSTEM_INFO info = {};
    Wow64::GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
}

TEST_F(Wow64Functions, AbsentFunctionsAnswerAsOn32BitWindows)
{
    struct Case {
        const char* function;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"IsWow64Process",
         [] {
             BOOL isWow64 = TRUE;
             SetLastError(1234);
             EXPECT_TRUE(Wow64::IsWow64Process(GetCurrentProcess(), &isWow64));
             EXPECT_FALSE(isWow64);
             EXPECT_EQ(GetLastError(), 1234u);
         }},
        {"IsWow64Process", [] { EXPECT_FALSE(Wow64::IsCurrentProcessWow64()); }},
        {"GetSystemWow64DirectoryW",
         [] {
             wchar_t buffer[MAX_PATH] = {};
             EXPECT_EQ(Wow64::GetSystemWow64DirectoryW(buffer), 0u);
             EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
         }},
        {"Wow64DisableWow64FsRedirection",
         [] {
             void* old = nullptr;
             EXPECT_FALSE(Wow64::Wow64DisableWow64FsRedirection(&old));
             EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
         }},
        {"Wow64RevertWow64FsRedirection",
         [] {
             EXPECT_FALSE(Wow64::Wow64RevertWow64FsRedirection(nullptr));
             EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
         }},
        {"GetNativeSystemInfo",
         [] {
             SYSTEM_INFO info = {};
             info.wProcessorArchitecture = 0xABCD;
             Wow64::GetNativeSystemInfo(&info);
             EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        FaultSeam::Reset();
        FaultSeam::Arm(c.function, 1, 0);
        c.check();
    }
}

TEST_F(Wow64Functions, NullFlagIsAnInvalidParameter)
{
    SetLastError(0);
    EXPECT_FALSE(Wow64::IsWow64Process(GetCurrentProcess(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}
