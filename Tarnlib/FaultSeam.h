// The fault-injection seam of the test build: a test can make the Nth call of a named Windows
// function fail with a chosen error. In the shipped build every macro below is the bare call.
#pragma once

#include <windows.h>

#ifdef KV_TEST_SEAMS

namespace Tarnlib::FaultSeam {

// The `nth` call (1-based, counted from now) of `function` fails with `error`.
void Arm(const char* function, unsigned nth, DWORD error);
// Forgets every armed failure and every call count.
void Reset();
// Arms the failures listed in the environment variable KV_FAULTS:
// "Function#N=Error" entries separated by commas; Error is decimal or 0x hexadecimal.
void ArmFromEnvironment();
// Counts a call of `function`; true when this call must fail, with the error to report.
bool Consume(const char* function, DWORD& error);

// Sets the last error to the injected one and tells the caller to fail.
inline bool FailsWithLastError(const char* function)
{
    DWORD error;
    if (!Consume(function, error))
        return false;
    SetLastError(error);
    return true;
}

}  // namespace Tarnlib::FaultSeam

// A call that reports failure through its result and the last error.
#define KV_SYSCALL(function, failureResult, call) \
    (Tarnlib::FaultSeam::FailsWithLastError(function) ? (failureResult) : (call))
// A call that returns its Windows error code (LSTATUS and the like).
#define KV_SYSCALL_STATUS(function, call) \
    ([&]() -> LONG { DWORD kvInjected; return Tarnlib::FaultSeam::Consume(function, kvInjected) ? LONG(kvInjected) : LONG(call); }())
// A call that returns an HRESULT.
#define KV_SYSCALL_HRESULT(function, call) \
    ([&]() -> HRESULT { DWORD kvInjected; return Tarnlib::FaultSeam::Consume(function, kvInjected) ? HRESULT(kvInjected) : HRESULT(call); }())

#else

#define KV_SYSCALL(function, failureResult, call) (call)
#define KV_SYSCALL_STATUS(function, call) (call)
#define KV_SYSCALL_HRESULT(function, call) (call)

#endif
