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

// Every translated fault: its class, code and name.
#define KV_STRUCTURED_EXCEPTIONS(X)                                                 \
    X(SE_GuardPage, 0x80000001, "EXCEPTION_GUARD_PAGE")                             \
    X(SE_DatatypeMisalignment, 0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT")       \
    X(SE_Breakpoint, 0x80000003, "EXCEPTION_BREAKPOINT")                            \
    X(SE_SingleStep, 0x80000004, "EXCEPTION_SINGLE_STEP")                           \
    X(SE_AccessViolation, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION")                 \
    X(SE_InPageError, 0xC0000006, "EXCEPTION_IN_PAGE_ERROR")                        \
    X(SE_InvalidHandle, 0xC0000008, "EXCEPTION_INVALID_HANDLE")                     \
    X(SE_IllegalInstruction, 0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION")           \
    X(SE_NoncontinuableException, 0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION") \
    X(SE_InvalidDisposition, 0xC0000026, "EXCEPTION_INVALID_DISPOSITION")           \
    X(SE_ArrayBoundsExceeded, 0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED")        \
    X(SE_FltDenormalOperand, 0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND")          \
    X(SE_FltDivideByZero, 0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO")               \
    X(SE_FltInexactResult, 0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT")              \
    X(SE_FltInvalidOperation, 0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION")        \
    X(SE_FltOverflow, 0xC0000091, "EXCEPTION_FLT_OVERFLOW")                         \
    X(SE_FltStackCheck, 0xC0000092, "EXCEPTION_FLT_STACK_CHECK")                    \
    X(SE_FltUnderflow, 0xC0000093, "EXCEPTION_FLT_UNDERFLOW")                       \
    X(SE_IntDivideByZero, 0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO")               \
    X(SE_IntOverflow, 0xC0000095, "EXCEPTION_INT_OVERFLOW")                         \
    X(SE_PrivInstruction, 0xC0000096, "EXCEPTION_PRIV_INSTRUCTION")                 \
    X(SE_StackOverflow, 0xC00000FD, "EXCEPTION_STACK_OVERFLOW")

#define KV_STRUCTURED_EXCEPTION_CLASS(name, code, text) \
    class name : public StructuredException {           \
    public:                                             \
        static constexpr DWORD ExceptionCode = code;    \
        name() : StructuredException(ExceptionCode) {}  \
    };
KV_STRUCTURED_EXCEPTIONS(KV_STRUCTURED_EXCEPTION_CLASS)
#undef KV_STRUCTURED_EXCEPTION_CLASS

// Throws the SE_ class of the code, or a plain StructuredException for any other code.
[[noreturn]] void TranslateStructuredException(DWORD code);

// Makes faults in the program's own code arrive as the exceptions above, thrown at the
// faulting instruction so that the frames it leaves are unwound. Code must be compiled with
// -fnon-call-exceptions for the faulting frame's own destructors to run.
void InstallStructuredExceptionTranslator();
