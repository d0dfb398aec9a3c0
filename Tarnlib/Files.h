// File and path operations.
#pragma once

#include "FaultSeam.h"
#include "WrapperBase.h"

namespace Tarnlib {

// Copies a file; never overwrites an existing destination.
template <int Throw>
class CFileCopy : public CWinApiBase<Throw> {
public:
    CFileCopy(wstrview source, wstrview destination)
    {
        TerminatedText from(source), to(destination);
        if (!KV_SYSCALL("CopyFileW", FALSE, CopyFileW(from, to, TRUE)))
            this->template Fail<FileException>(L"CopyFileW()"_v, GetLastError());
    }
};

// Deletes a file now, or asks Windows to delete it at the next restart.
template <int Throw>
class CFileRemove : public CWinApiBase<Throw> {
public:
    explicit CFileRemove(wstrview path, bool atReboot = false)
    {
        TerminatedText file(path);
        if (atReboot) {
            if (!KV_SYSCALL("MoveFileExW", FALSE, MoveFileExW(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)))
                this->template Fail<FileException>(L"MoveFileExW()"_v, GetLastError());
        } else if (!KV_SYSCALL("DeleteFileW", FALSE, DeleteFileW(file))) {
            this->template Fail<FileException>(L"DeleteFileW()"_v, GetLastError());
        }
    }
};

// Moves a file or directory, replacing an existing destination.
template <int Throw>
class CPathMove : public CWinApiBase<Throw> {
public:
    CPathMove(wstrview source, wstrview destination)
    {
        TerminatedText from(source), to(destination);
        if (!KV_SYSCALL("MoveFileExW", FALSE, MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING)))
            this->template Fail<PathException>(L"MoveFileExW()"_v, GetLastError());
    }
};

// The absolute form of a path, against the current directory.
template <int Throw>
class CPathMakeAbs : public CWinApiBase<Throw> {
public:
    CPathMakeAbs(wstrview path, wstring_nc& absolutePath)
    {
        TerminatedText relative(path);
        DWORD needed = KV_SYSCALL("GetFullPathNameW", 0, GetFullPathNameW(relative, 0, nullptr, nullptr));
        if (needed == 0) {
            RecordFailure(GetLastError());
            return;
        }
        wstring_nc full;
        full.resize(needed);
        DWORD written = KV_SYSCALL("GetFullPathNameW", 0, GetFullPathNameW(relative, needed, full.data(), nullptr));
        if (written == 0) {
            RecordFailure(GetLastError());
            return;
        }
        if (written >= needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            RecordFailure(ERROR_INSUFFICIENT_BUFFER);
            return;
        }
        full.resize(written);
        absolutePath = full;
    }

private:
    void RecordFailure(DWORD error) { this->template Fail<PathException>(L"GetFullPathNameW()"_v, error); }
};

}  // namespace Tarnlib
