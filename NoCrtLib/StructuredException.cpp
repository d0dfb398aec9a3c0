#include "StructuredException.h"

namespace {

struct CodeName {
    DWORD code;
    const char* name;
};

const CodeName StructuredExceptionNames[] = {
    {0x80000001, "EXCEPTION_GUARD_PAGE"},
    {0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {0x80000003, "EXCEPTION_BREAKPOINT"},
    {0x80000004, "EXCEPTION_SINGLE_STEP"},
    {0xC0000005, "EXCEPTION_ACCESS_VIOLATION"},
    {0xC0000006, "EXCEPTION_IN_PAGE_ERROR"},
    {0xC0000008, "EXCEPTION_INVALID_HANDLE"},
    {0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "EXCEPTION_INVALID_DISPOSITION"},
    {0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT"},
    {0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION"},
    {0xC0000091, "EXCEPTION_FLT_OVERFLOW"},
    {0xC0000092, "EXCEPTION_FLT_STACK_CHECK"},
    {0xC0000093, "EXCEPTION_FLT_UNDERFLOW"},
    {0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "EXCEPTION_INT_OVERFLOW"},
    {0xC0000096, "EXCEPTION_PRIV_INSTRUCTION"},
    {0xC00000FD, "EXCEPTION_STACK_OVERFLOW"},
};

template <class E>
void ThrowIf(DWORD code)
{
    if (code == E::ExceptionCode)
        throw E();
}

DWORD g_translatedThreadId;

// The code of the fault whose exception the redirected thread is about to throw.
thread_local DWORD t_pendingCode;

[[noreturn]] __attribute__((noinline)) void ThrowPendingStructuredException()
{
    TranslateStructuredException(t_pendingCode);
}

bool IsInProgramImage(DWORD address)
{
    HMODULE module = GetModuleHandleW(nullptr);
    auto base = reinterpret_cast<const unsigned char*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    DWORD start = reinterpret_cast<DWORD>(base);
    return address >= start && address - start < nt->OptionalHeader.SizeOfImage;
}

bool IsTranslatable(DWORD code)
{
    for (const CodeName& entry : StructuredExceptionNames)
        if (entry.code == code)
            return code != 0xC00000FD;  // an overflowed stack has no room for the throw
    return false;
}

// Only the thread that installed the translator has its faults translated.
// Makes the faulting thread continue as if the faulting instruction had called the throwing
// function: the pushed return address lies inside that instruction, so the unwinder finds the
// faulting frame's cleanups and handlers.
LONG CALLBACK RedirectFaultToThrow(EXCEPTION_POINTERS* pointers)
{
    DWORD code = pointers->ExceptionRecord->ExceptionCode;
    CONTEXT* context = pointers->ContextRecord;
    if (GetCurrentThreadId() != g_translatedThreadId || !IsTranslatable(code) || !IsInProgramImage(context->Eip))
        return EXCEPTION_CONTINUE_SEARCH;
    t_pendingCode = code;
    context->Esp -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
    context->Eip = reinterpret_cast<DWORD>(&ThrowPendingStructuredException);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

const char* StructuredExceptionName(DWORD code)
{
    for (const CodeName& entry : StructuredExceptionNames)
        if (entry.code == code)
            return entry.name;
    return "unrecognized structured exception";
}

void TranslateStructuredException(DWORD code)
{
    ThrowIf<SE_GuardPage>(code);
    ThrowIf<SE_DatatypeMisalignment>(code);
    ThrowIf<SE_Breakpoint>(code);
    ThrowIf<SE_SingleStep>(code);
    ThrowIf<SE_AccessViolation>(code);
    ThrowIf<SE_InPageError>(code);
    ThrowIf<SE_InvalidHandle>(code);
    ThrowIf<SE_IllegalInstruction>(code);
    ThrowIf<SE_NoncontinuableException>(code);
    ThrowIf<SE_InvalidDisposition>(code);
    ThrowIf<SE_ArrayBoundsExceeded>(code);
    ThrowIf<SE_FltDenormalOperand>(code);
    ThrowIf<SE_FltDivideByZero>(code);
    ThrowIf<SE_FltInexactResult>(code);
    ThrowIf<SE_FltInvalidOperation>(code);
    ThrowIf<SE_FltOverflow>(code);
    ThrowIf<SE_FltStackCheck>(code);
    ThrowIf<SE_FltUnderflow>(code);
    ThrowIf<SE_IntDivideByZero>(code);
    ThrowIf<SE_IntOverflow>(code);
    ThrowIf<SE_PrivInstruction>(code);
    ThrowIf<SE_StackOverflow>(code);
    throw StructuredException(code);
}

void InstallStructuredExceptionTranslator()
{
    g_translatedThreadId = GetCurrentThreadId();
    static PVOID handler = AddVectoredExceptionHandler(1, RedirectFaultToThrow);
    (void)handler;
}
