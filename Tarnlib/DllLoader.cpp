#include "DllLoader.h"

#include "FaultSeam.h"
#include "Wow64.h"

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/Paths.h"
#include "NoCrtLib/TextConvert.h"

namespace Tarnlib {

namespace {

// The 32-bit system directory: SysWOW64 under WOW64, else the system directory. False when
// neither can be had; `context` then names the call that failed.
bool FindSystemDirectory(wstring_nc& directory, wstrview& context)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = Wow64::GetSystemWow64DirectoryW(buffer);
    if (length == 0 && GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
        context = L"GetSystemWow64Directory()"_v;
        return false;
    }
    if (length == 0) {
        length = KV_SYSCALL("GetSystemDirectoryW", 0, GetSystemDirectoryW(buffer, MAX_PATH));
        if (length == 0) {
            context = L"GetSystemDirectory()"_v;
            return false;
        }
    }
    directory.assign(wstrview(buffer, length, true));
    return true;
}

}  // namespace

DllLoader::DllLoader(wstrview name, unsigned flags) { Load(name, flags); }

DllLoader::~DllLoader()
{
    if (m_hDll) {
        FreeLibrary(m_hDll);
        m_hDll = nullptr;
    }
}

void DllLoader::Load(wstrview name, unsigned flags)
{
    NC_CHECK(!m_hDll);
    wstring_nc path;
    bool fullPath = (flags & FullPath) != 0;
    if (fullPath && (flags & SystemDirectory)) {
        wstring_nc directory;
        wstrview context;
        if (!FindSystemDirectory(directory, context)) {
            if (flags & Optional)
                return;
            throw SystemError(context, GetLastError());
        }
        path = JoinPath(directory.str(), name);
    } else {
        path = name;
    }
    m_hDll = KV_SYSCALL("LoadLibraryExW", nullptr,
                        LoadLibraryExW(path.c_str(), nullptr, fullPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0));
    if (!m_hDll && !(flags & Optional))
        throw SystemError(L"LoadLibraryEx("_v + path + L")"_v, GetLastError());
}

FARPROC DllLoader::GetProcAddress(const char* name) const
{
    FARPROC address = ::GetProcAddress(m_hDll, name);
    if (!address) {
        DWORD error = GetLastError();
        wstring_nc wideName = NarrowToWide(astrview(name), CP_UTF8);
        throw SystemError(L"GetProcAddress("_v + wideName + L")"_v, error);
    }
    return address;
}

FARPROC DllLoader::FindProcAddress(const char* name) const
{
    return m_hDll ? ::GetProcAddress(m_hDll, name) : nullptr;
}

}  // namespace Tarnlib
