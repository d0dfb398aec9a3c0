#include "SystemInfo.h"

#include "DllLoader.h"
#include "FaultSeam.h"
#include "Registry.h"

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/Paths.h"

#include <shlobj.h>

#include <cwchar>

namespace Tarnlib {

namespace {

const wchar_t ShellFoldersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t UserShellFoldersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

WindowsVersion QueryWindowsVersion()
{
    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended)))
        return {extended.dwPlatformId, extended.dwMajorVersion, extended.dwMinorVersion};
    OSVERSIONINFOW basic = {};
    basic.dwOSVersionInfoSize = sizeof(basic);
    if (GetVersionExW(&basic))
        return {basic.dwPlatformId, basic.dwMajorVersion, basic.dwMinorVersion};
    DWORD version = GetVersion();
    return {(version & 0x80000000) ? 1u : 2u, version & 0xFF, (version >> 8) & 0xFF};
}

// A string value of at most 160 bytes; false when it cannot be read.
bool ReadShortString(HKEY key, const wchar_t* name, wchar_t (&buffer)[81])
{
    DWORD type = 0;
    DWORD size = 160;
    std::memset(buffer, 0, sizeof(buffer));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

IEVersion QueryIEVersion()
{
    IEVersion version = {0, 0, 0};
    CRegOpen<0, NoView> key(RegLocation::Machine(L"Software\\Microsoft\\Internet Explorer"_v), KEY_QUERY_VALUE);
    if (key.Failed())
        return version;
    wchar_t text[81];
    if (ReadShortString(key.Key(), L"Version", text)) {
        unsigned major = 0, minor = 0, build = 0;
        swscanf(text, L"%u.%u.%u", &major, &minor, &build);
        return {major, minor, build};
    }
    if (!ReadShortString(key.Key(), L"IVer", text))
        return version;
    if (EqualsNoCase(wstrview(text), L"101"_v))
        version = {4, 40, 308};
    else if (EqualsNoCase(wstrview(text), L"102"_v))
        version = {4, 40, 520};
    else if (EqualsNoCase(wstrview(text), L"103"_v)) {
        version = {4, 70, 1155};
        unsigned build = 0;
        if (ReadShortString(key.Key(), L"Build", text) && swscanf(text, L"%u", &build) == 1)
            version.build = build;
    }
    return version;
}

// A registry string, or empty when it cannot be read.
wstring_nc RegistryFolder(HKEY root, const wchar_t* subkey, wstrview valueName)
{
    wstring_nc folder;
    try {
        CRegRead<1, NoView> read(RegLocation::Under(root, wstrview(subkey)), valueName, folder);
    } catch (const RegException&) {
        folder.clear();
    }
    return folder;
}

// The shell's folder, created when missing; empty when the shell cannot tell.
wstring_nc ShellFolder(int csidl)
{
    if (!IsAtLeast(GetIEVersion(), InternetExplorer401))
        return wstring_nc();
    static const Shell32Dll shell32;
    auto getFolder = reinterpret_cast<BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL)>(
        reinterpret_cast<void*>(shell32.FindProcAddress("SHGetSpecialFolderPathW")));
    wchar_t path[MAX_PATH + 1] = {};
    if (!getFolder || !KV_SYSCALL("SHGetSpecialFolderPathW", FALSE, getFolder(nullptr, path, csidl, TRUE)))
        return wstring_nc();
    return wstring_nc(wstrview(path));
}

}  // namespace

WindowsVersion GetWindowsVersion()
{
    static const WindowsVersion version = QueryWindowsVersion();
    return version;
}

IEVersion GetIEVersion()
{
    static const IEVersion version = QueryIEVersion();
    return version;
}

wstring_nc RootOfFullPath(wstrview fullPath)
{
    if (fullPath.len >= 2 && fullPath.ptr[1] == L':')
        return fullPath.substr(0, 2) + L"\\"_v;
    if (fullPath.len >= 2 && fullPath.ptr[0] == L'\\' && fullPath.ptr[1] == L'\\') {
        ncsize_t separatorsSeen = 0;
        for (ncsize_t i = 2; i < fullPath.len; ++i) {
            if (fullPath.ptr[i] == L'\\' && ++separatorsSeen == 2)
                return wstring_nc(fullPath.substr(0, i + 1));
        }
        return fullPath + L"\\"_v;
    }
    return wstring_nc(fullPath);
}

wstring_nc GetVolumeRoot(const wchar_t* path)
{
    if (!path)
        path = L".";
    wchar_t buffer[264] = {};
    WindowsVersion version = GetWindowsVersion();
    if (version.platform == 2 && IsAtLeast(version, Windows2000)) {
        static const Kernel32Dll kernel32;
        auto getVolumePath = kernel32.Get<BOOL(WINAPI*)(LPCWSTR, LPWSTR, DWORD)>("GetVolumePathNameW");
        if (!KV_SYSCALL("GetVolumePathNameW", FALSE, getVolumePath(path, buffer, 264)))
            throw SystemError(L"GetVolumePathNameW()"_v, GetLastError());
        return wstring_nc(wstrview(buffer));
    }
    DWORD length = KV_SYSCALL("GetFullPathNameW", 0, GetFullPathNameW(path, 264, buffer, nullptr));
    if (length == 0 || length >= 264)
        throw SystemError(L"GetFullPathNameW()"_v, length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
    return RootOfFullPath(wstrview(buffer, length, true));
}

DWORD GetVolumeFlags(wstrview path)
{
    wstring_nc terminatedPath(path);
    wstring_nc root = GetVolumeRoot(terminatedPath.c_str());
    DWORD flags = 0;
    if (!KV_SYSCALL("GetVolumeInformationW", FALSE,
                    GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)))
        throw SystemError(L"GetVolumeInformationW()"_v, GetLastError());
    return flags;
}

wstring_nc ProgramFilesFolder()
{
    wstring_nc folder =
        RegistryFolder(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir"_v);
    return folder.empty() ? wstring_nc(L"C:\\Program Files"_v) : folder;
}

wstring_nc SystemFolder()
{
    wchar_t buffer[261] = {};
    UINT length = KV_SYSCALL("GetSystemDirectoryW", 0, GetSystemDirectoryW(buffer, 261));
    if (length == 0 || length >= 261)
        return wstring_nc();
    return wstring_nc(wstrview(buffer, length, true));
}

wstring_nc UserProgramsFolder()
{
    wstring_nc folder = ShellFolder(CSIDL_PROGRAMS);
    if (folder.empty())
        folder = RegistryFolder(HKEY_CURRENT_USER, ShellFoldersKey, L"Programs"_v);
    if (folder.empty())
        folder = RegistryFolder(HKEY_CURRENT_USER, UserShellFoldersKey, L"Programs"_v);
    return folder;
}

wstring_nc CommonProgramsFolder()
{
    wstring_nc folder = ShellFolder(CSIDL_COMMON_PROGRAMS);
    if (folder.empty())
        folder = RegistryFolder(HKEY_LOCAL_MACHINE, ShellFoldersKey, L"Common Programs"_v);
    return folder.empty() ? UserProgramsFolder() : folder;
}

wstring_nc CommonAdminToolsFolder()
{
    wstring_nc folder = ShellFolder(CSIDL_COMMON_ADMINTOOLS);
    if (folder.empty())
        folder = RegistryFolder(HKEY_LOCAL_MACHINE, ShellFoldersKey, L"Common Administrative Tools"_v);
    if (!folder.empty())
        return folder;
    wstring_nc programs = CommonProgramsFolder();
    if (programs.empty())
        return programs;
    WindowsVersion version = GetWindowsVersion();
    if (IsEqual(version, WindowsNT4))
        return JoinPath(programs.str(), L"Administrative Tools (Common)"_v);
    if (IsAtLeast(version, Windows2000) && IsAtMost(version, WindowsXP))
        return JoinPath(programs.str(), L"Administrative Tools"_v);
    return wstring_nc();
}

}  // namespace Tarnlib
