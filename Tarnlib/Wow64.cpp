#include "Wow64.h"

#include "FaultSeam.h"

namespace Tarnlib::Wow64 {

namespace {

// Looks a kernel32 function up without disturbing the thread's last error.
template <class Function>
Function FindKernel32Function(const char* name)
{
    DWORD savedError = GetLastError();
    FARPROC address = ::GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
    SetLastError(savedError);
#ifdef KV_TEST_SEAMS
    DWORD injected;
    if (FaultSeam::Consume(name, injected))
        address = nullptr;  // the test build can make the function absent
#endif
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

BOOL IsWow64Process(HANDLE process, BOOL* isWow64)
{
    if (!isWow64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto function = FindKernel32Function<BOOL(WINAPI*)(HANDLE, PBOOL)>("IsWow64Process");
    if (!function) {
        *isWow64 = FALSE;
        return TRUE;
    }
    return function(process, isWow64);
}

UINT GetSystemWow64DirectoryW(wchar_t* buffer)
{
    auto function = FindKernel32Function<UINT(WINAPI*)(LPWSTR, UINT)>("GetSystemWow64DirectoryW");
    if (!function) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return function(buffer, MAX_PATH);
}

BOOL Wow64DisableWow64FsRedirection(void** oldValue)
{
    auto function = FindKernel32Function<BOOL(WINAPI*)(PVOID*)>("Wow64DisableWow64FsRedirection");
    if (!function) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return function(oldValue);
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue)
{
    auto function = FindKernel32Function<BOOL(WINAPI*)(PVOID)>("Wow64RevertWow64FsRedirection");
    if (!function) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return function(oldValue);
}

void GetNativeSystemInfo(SYSTEM_INFO* info)
{
    auto function = FindKernel32Function<void(WINAPI*)(LPSYSTEM_INFO)>("GetNativeSystemInfo");
    if (function)
        function(info);
    else
        GetSystemInfo(info);
}

bool IsCurrentProcessWow64()
{
    BOOL isWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &isWow64) && isWow64;
}

}  // namespace Tarnlib::Wow64
