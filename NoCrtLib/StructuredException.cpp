#include "StructuredException.h"

namespace {

struct CodeName {
    DWORD code;
    const char* name;
};

#define KV_CODE_NAME(name, code, text) {code, text},
const CodeName StructuredExceptionNames[] = {KV_STRUCTURED_EXCEPTIONS(KV_CODE_NAME)};
#undef KV_CODE_NAME

const CodeName* FindStructuredException(DWORD code)
{
    for (const CodeName& entry : StructuredExceptionNames)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

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
    // An overflowed stack has no room for the throw.
    return FindStructuredException(code) && code != SE_StackOverflow::ExceptionCode;
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
    const CodeName* entry = FindStructuredException(code);
    return entry ? entry->name : "unrecognized structured exception";
}

void TranslateStructuredException(DWORD code)
{
#define KV_THROW_IF(name, value, text) ThrowIf<name>(code);
    KV_STRUCTURED_EXCEPTIONS(KV_THROW_IF)
#undef KV_THROW_IF
    throw StructuredException(code);
}

void InstallStructuredExceptionTranslator()
{
    g_translatedThreadId = GetCurrentThreadId();
    static PVOID handler = AddVectoredExceptionHandler(1, RedirectFaultToThrow);
    (void)handler;
}
