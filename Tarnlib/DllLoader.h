// Loading system DLLs at run time, from the system directory where asked.
#pragma once

#include "LazySingleton.h"

#include "NoCrtLib/NoCrtString.h"

#include <windows.h>

namespace Tarnlib {

class DllLoader : public NoCopy {
public:
    enum Flags : unsigned {
        Optional = 1,         // a DLL or system directory that cannot be found is no error
        FullPath = 2,         // load with LOAD_WITH_ALTERED_SEARCH_PATH
        SystemDirectory = 4,  // with FullPath: the name is prefixed with the system directory
    };

    DllLoader(wstrview name, unsigned flags);
    virtual ~DllLoader();

    HMODULE Module() const { return m_hDll; }
    // The address of an exported function; throws SystemError "GetProcAddress(<name>)".
    FARPROC GetProcAddress(const char* name) const;
    // The address, or null when the DLL or the function is missing.
    FARPROC FindProcAddress(const char* name) const;

    template <class Function>
    Function Get(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(name)));
    }

private:
    void Load(wstrview name, unsigned flags);

    HMODULE m_hDll = nullptr;
};

struct Advapi32Dll : DllLoader {
    Advapi32Dll() : DllLoader(L"Advapi32.dll"_v, FullPath | SystemDirectory) {}
};
struct Kernel32Dll : DllLoader {
    Kernel32Dll() : DllLoader(L"Kernel32.dll"_v, FullPath | SystemDirectory) {}
};
struct Shell32Dll : DllLoader {
    Shell32Dll() : DllLoader(L"shell32.dll"_v, FullPath | SystemDirectory) {}
};
struct KtmW32Dll : DllLoader {
    KtmW32Dll() : DllLoader(L"KtmW32.dll"_v, Optional | FullPath | SystemDirectory) {}
};

struct DelayLoadAdvapi32Dll : Advapi32Dll, LazySingleton<DelayLoadAdvapi32Dll> {};
struct DelayLoadKtmW32Dll : KtmW32Dll, LazySingleton<DelayLoadKtmW32Dll> {};

}  // namespace Tarnlib
