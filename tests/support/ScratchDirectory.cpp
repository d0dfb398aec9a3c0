#include "ScratchDirectory.h"

#include <windows.h>

#include <stdexcept>

void RemoveTree(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

ScratchDirectory::ScratchDirectory()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, length);
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    std::wstring path = base + L"\\KvScratch-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    if (!CreateDirectoryW(path.c_str(), nullptr))
        throw std::runtime_error("cannot create a scratch directory under the temporary folder, error " +
                                 std::to_string(GetLastError()));
    wchar_t longPath[1024] = {};
    DWORD longLength = GetLongPathNameW(path.c_str(), longPath, 1024);
    m_path = longLength > 0 && longLength < 1024 ? std::wstring(longPath, longLength) : path;
}
