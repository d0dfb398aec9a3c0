// The WOW64 functions of kernel32, resolved at every call; a system without them answers as a
// 32-bit Windows would.
#pragma once

#include <windows.h>

namespace Tarnlib::Wow64 {

// Absent function: *isWow64 = FALSE and the result is TRUE.
BOOL IsWow64Process(HANDLE process, BOOL* isWow64);
// Absent function: 0 with last error ERROR_CALL_NOT_IMPLEMENTED. `buffer` holds 260 characters.
UINT GetSystemWow64DirectoryW(wchar_t* buffer);
BOOL Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Wow64RevertWow64FsRedirection(void* oldValue);
void GetNativeSystemInfo(SYSTEM_INFO* info);

// True when this process is a 32-bit process on 64-bit Windows.
bool IsCurrentProcessWow64();

}  // namespace Tarnlib::Wow64
