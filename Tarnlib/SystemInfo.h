// Facts about the running system: Windows and Internet Explorer versions, volumes, special folders.
#pragma once

#include "NoCrtLib/NoCrtString.h"

#include <windows.h>

namespace Tarnlib {

// {platform, major, minor}; platform 1 is the Windows 9x line, 2 is Windows NT.
struct WindowsVersion {
    DWORD platform;
    DWORD major;
    DWORD minor;
};

// {major, minor, build}; all 0 when no Internet Explorer was found.
struct IEVersion {
    DWORD major;
    DWORD minor;
    DWORD build;
};

inline constexpr WindowsVersion WindowsNT4 = {2, 4, 0};
inline constexpr WindowsVersion Windows2000 = {2, 5, 0};
inline constexpr WindowsVersion WindowsXP = {2, 5, 1};
inline constexpr WindowsVersion WindowsServer2003 = {2, 5, 2};
inline constexpr WindowsVersion WindowsVista = {2, 6, 0};
inline constexpr IEVersion InternetExplorer401 = {4, 71, 1712};

inline DWORD FirstField(const WindowsVersion& v) { return v.platform; }
inline DWORD SecondField(const WindowsVersion& v) { return v.major; }
inline DWORD ThirdField(const WindowsVersion& v) { return v.minor; }
inline DWORD FirstField(const IEVersion& v) { return v.major; }
inline DWORD SecondField(const IEVersion& v) { return v.minor; }
inline DWORD ThirdField(const IEVersion& v) { return v.build; }

// Field by field, the first that differs decides; equal triples are "at least".
template <class Triple>
bool IsAtLeast(const Triple& current, const Triple& required)
{
    const DWORD a[3] = {FirstField(current), SecondField(current), ThirdField(current)};
    const DWORD b[3] = {FirstField(required), SecondField(required), ThirdField(required)};
    for (int i = 0; i < 3; ++i)
        if (a[i] != b[i])
            return a[i] > b[i];
    return true;
}

template <class Triple>
bool IsEqual(const Triple& a, const Triple& b)
{
    return FirstField(a) == FirstField(b) && SecondField(a) == SecondField(b) && ThirdField(a) == ThirdField(b);
}

template <class Triple>
bool IsAtMost(const Triple& current, const Triple& limit)
{
    return !IsAtLeast(current, limit) || IsEqual(current, limit);
}

// Cached for the life of the process; never fails.
WindowsVersion GetWindowsVersion();
// Cached for the life of the process; {0, 0, 0} when nothing is found.
IEVersion GetIEVersion();

// The root of the volume of `path` (the current directory for null), ending with a backslash.
wstring_nc GetVolumeRoot(const wchar_t* path);
// The root part of a full path, for Windows without GetVolumePathNameW: "D:\" for a drive
// path, "\\server\share\" for a network path.
wstring_nc RootOfFullPath(wstrview fullPath);
// The file-system flags of the volume of `path`.
DWORD GetVolumeFlags(wstrview path);

wstring_nc ProgramFilesFolder();
wstring_nc SystemFolder();
wstring_nc UserProgramsFolder();
wstring_nc CommonProgramsFolder();
wstring_nc CommonAdminToolsFolder();

}  // namespace Tarnlib
