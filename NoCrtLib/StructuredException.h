// Windows structured exceptions (processor and system faults) as exceptions of the program.
#pragma once

#include <windows.h>

#include <exception>

// The name of a structured-exception code, or "unrecognized structured exception".
const char* StructuredExceptionName(DWORD code);

class StructuredException : public std::exception {
public:
    explicit StructuredException(DWORD code) : m_code(code) {}
    DWORD Code() const { return m_code; }
    const char* what() const noexcept override { return StructuredExceptionName(m_code); }

private:
    DWORD m_code;
};

#define KV_STRUCTURED_EXCEPTION(name, code)                          \
    class name : public StructuredException {                        \
    public:                                                          \
        static constexpr DWORD ExceptionCode = code;                 \
        name() : StructuredException(ExceptionCode) {}               \
    };

KV_STRUCTURED_EXCEPTION(SE_GuardPage, 0x80000001)
KV_STRUCTURED_EXCEPTION(SE_DatatypeMisalignment, 0x80000002)
KV_STRUCTURED_EXCEPTION(SE_Breakpoint, 0x80000003)
KV_STRUCTURED_EXCEPTION(SE_SingleStep, 0x80000004)
KV_STRUCTURED_EXCEPTION(SE_AccessViolation, 0xC0000005)
KV_STRUCTURED_EXCEPTION(SE_InPageError, 0xC0000006)
KV_STRUCTURED_EXCEPTION(SE_InvalidHandle, 0xC0000008)
KV_STRUCTURED_EXCEPTION(SE_IllegalInstruction, 0xC000001D)
KV_STRUCTURED_EXCEPTION(SE_NoncontinuableException, 0xC0000025)
KV_STRUCTURED_EXCEPTION(SE_InvalidDisposition, 0xC0000026)
KV_STRUCTURED_EXCEPTION(SE_ArrayBoundsExceeded, 0xC000008C)
KV_STRUCTURED_EXCEPTION(SE_FltDenormalOperand, 0xC000008D)
KV_STRUCTURED_EXCEPTION(SE_FltDivideByZero, 0xC000008E)
KV_STRUCTURED_EXCEPTION(SE_FltInexactResult, 0xC000008F)
KV_STRUCTURED_EXCEPTION(SE_FltInvalidOperation, 0xC0000090)
KV_STRUCTURED_EXCEPTION(SE_FltOverflow, 0xC0000091)
KV_STRUCTURED_EXCEPTION(SE_FltStackCheck, 0xC0000092)
KV_STRUCTURED_EXCEPTION(SE_FltUnderflow, 0xC0000093)
KV_STRUCTURED_EXCEPTION(SE_IntDivideByZero, 0xC0000094)
KV_STRUCTURED_EXCEPTION(SE_IntOverflow, 0xC0000095)
KV_STRUCTURED_EXCEPTION(SE_PrivInstruction, 0xC0000096)
KV_STRUCTURED_EXCEPTION(SE_StackOverflow, 0xC00000FD)

#undef KV_STRUCTURED_EXCEPTION

// Throws the SE_ class of the code, or a plain StructuredException for any other code.
[[noreturn]] void TranslateStructuredException(DWORD code);

// Makes faults in the program's own code arrive as the exceptions above, thrown at the
// faulting instruction so that the frames it leaves are unwound. Code must be compiled with
// -fnon-call-exceptions for the faulting frame's own destructors to run.
void InstallStructuredExceptionTranslator();
