// The retry and waiting policy of the installer's guarded registry edits: at most 11 attempts,
// none begun after 5000 ms; the guard mutex waited for at most 5000 ms in all.
#pragma once

#include <windows.h>

template <class TransactionAborted, class MutexAquireTimeout>
struct GuardedEditPolicy {
    static void CheckRetry(unsigned attempts, DWORD elapsed)
    {
        if (attempts > 9 || elapsed > 4999)
            throw TransactionAborted();
    }

    static DWORD MutexWaitTime(DWORD elapsed)
    {
        if (elapsed >= 5000)
            throw MutexAquireTimeout();
        return 5000 - elapsed;
    }
};
