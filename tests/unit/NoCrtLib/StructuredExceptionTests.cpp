#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/StructuredException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

// Faults of the main thread arrive as exceptions, as in the installer.
class TranslatorEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InstallStructuredExceptionTranslator(); }
};

const ::testing::Environment* const g_translatorEnvironment =
    ::testing::AddGlobalTestEnvironment(new TranslatorEnvironment);

// Logs its name when it is destroyed, so a test can see that unwinding reached it.
struct UnwindWitness {
    std::vector<std::string>& log;
    const char* name;
    ~UnwindWitness() { log.push_back(name); }
};

__attribute__((noinline)) void WriteThroughNull(std::vector<std::string>& log)
{
    UnwindWitness witness{log, "faulting frame"};
    int* volatile target = nullptr;
    *target = 42;
    log.push_back("after the write");
}

__attribute__((noinline)) int ReadThroughNull(std::vector<std::string>& log)
{
    UnwindWitness witness{log, "faulting frame"};
    const volatile int* volatile source = nullptr;
    int value = *source;
    log.push_back("after the read");
    return value;
}

__attribute__((noinline)) int DivideByZero(std::vector<std::string>& log)
{
    UnwindWitness witness{log, "faulting frame"};
    volatile int dividend = 7;
    volatile int divisor = 0;
    volatile int quotient = dividend / divisor;
    log.push_back("after the division");
    return quotient;
}

__attribute__((noinline)) void FaultTwoFramesDown(std::vector<std::string>& log)
{
    UnwindWitness witness{log, "calling frame"};
    WriteThroughNull(log);
    log.push_back("after the call");
}

}  // namespace

TEST(StructuredException, ProcessorFaultsArriveAsTheirClassesAndUnwindTheFaultingFrame)
{
    struct Case {
        const char* name;
        std::function<void(std::vector<std::string>&)> fault;
        const std::type_info& type;
        DWORD code;
        const char* what;
        std::vector<std::string> unwound;
    };
    const std::vector<Case> cases = {
        {"write through a null pointer", [](std::vector<std::string>& log) { WriteThroughNull(log); },
         typeid(SE_AccessViolation), 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", {"faulting frame"}},
        {"read through a null pointer", [](std::vector<std::string>& log) { (void)ReadThroughNull(log); },
         typeid(SE_AccessViolation), 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", {"faulting frame"}},
        {"integer division by zero", [](std::vector<std::string>& log) { (void)DivideByZero(log); },
         typeid(SE_IntDivideByZero), 0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO", {"faulting frame"}},
        {"fault in a called function", [](std::vector<std::string>& log) { FaultTwoFramesDown(log); },
         typeid(SE_AccessViolation), 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", {"faulting frame", "calling frame"}},
    };
    // Twice: the translation keeps working after a translated fault has been handled.
    for (int round = 1; round <= 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", round " << round);
            std::vector<std::string> log;
            try {
                c.fault(log);
                ADD_FAILURE() << "no exception";
            } catch (const StructuredException& e) {
                EXPECT_EQ(typeid(e), c.type);
                EXPECT_EQ(e.Code(), c.code);
                EXPECT_STREQ(e.what(), c.what);
                EXPECT_EQ(dynamic_cast<const WException*>(&e), nullptr);
            }
            EXPECT_EQ(log, c.unwound);
        }
    }
}

TEST(StructuredException, AccessViolationIsCaughtByItsOwnClass)
{
    std::vector<std::string> log;
    bool caught = false;
    try {
        WriteThroughNull(log);
    } catch (const SE_AccessViolation& e) {
        caught = true;
        EXPECT_STREQ(e.what(), "EXCEPTION_ACCESS_VIOLATION");
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(log, std::vector<std::string>{"faulting frame"});
}

TEST(StructuredException, TranslationThrowsTheClassOfEachCode)
{
    struct Case {
        DWORD code;
        const std::type_info& type;
        const char* name;
    };
    const std::vector<Case> cases = {
        {0x80000001, typeid(SE_GuardPage), "EXCEPTION_GUARD_PAGE"},
        {0x80000002, typeid(SE_DatatypeMisalignment), "EXCEPTION_DATATYPE_MISALIGNMENT"},
        {0x80000003, typeid(SE_Breakpoint), "EXCEPTION_BREAKPOINT"},
        {0x80000004, typeid(SE_SingleStep), "EXCEPTION_SINGLE_STEP"},
        {0xC0000005, typeid(SE_AccessViolation), "EXCEPTION_ACCESS_VIOLATION"},
        {0xC0000006, typeid(SE_InPageError), "EXCEPTION_IN_PAGE_ERROR"},
        {0xC0000008, typeid(SE_InvalidHandle), "EXCEPTION_INVALID_HANDLE"},
        {0xC000001D, typeid(SE_IllegalInstruction), "EXCEPTION_ILLEGAL_INSTRUCTION"},
        {0xC0000025, typeid(SE_NoncontinuableException), "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
        {0xC0000026, typeid(SE_InvalidDisposition), "EXCEPTION_INVALID_DISPOSITION"},
        {0xC000008C, typeid(SE_ArrayBoundsExceeded), "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
        {0xC000008D, typeid(SE_FltDenormalOperand), "EXCEPTION_FLT_DENORMAL_OPERAND"},
        {0xC000008E, typeid(SE_FltDivideByZero), "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
        {0xC000008F, typeid(SE_FltInexactResult), "EXCEPTION_FLT_INEXACT_RESULT"},
        {0xC0000090, typeid(SE_FltInvalidOperation), "EXCEPTION_FLT_INVALID_OPERATION"},
        {0xC0000091, typeid(SE_FltOverflow), "EXCEPTION_FLT_OVERFLOW"},
        {0xC0000092, typeid(SE_FltStackCheck), "EXCEPTION_FLT_STACK_CHECK"},
        {0xC0000093, typeid(SE_FltUnderflow), "EXCEPTION_FLT_UNDERFLOW"},
        {0xC0000094, typeid(SE_IntDivideByZero), "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {0xC0000095, typeid(SE_IntOverflow), "EXCEPTION_INT_OVERFLOW"},
        {0xC0000096, typeid(SE_PrivInstruction), "EXCEPTION_PRIV_INSTRUCTION"},
        {0xC00000FD, typeid(SE_StackOverflow), "EXCEPTION_STACK_OVERFLOW"},
        // Any other code: the plain class.
        {0xE06D7363, typeid(StructuredException), "unrecognized structured exception"},
        {0x00000000, typeid(StructuredException), "unrecognized structured exception"},
        {0xC0000007, typeid(StructuredException), "unrecognized structured exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        EXPECT_STREQ(StructuredExceptionName(c.code), c.name);
        try {
            TranslateStructuredException(c.code);
        } catch (const StructuredException& e) {
            EXPECT_EQ(typeid(e), c.type);
            EXPECT_EQ(e.Code(), c.code);
            EXPECT_STREQ(e.what(), c.name);
            continue;
        }
        ADD_FAILURE() << "no StructuredException";
    }
}

TEST(StructuredException, IsAStandardExceptionButNotAWException)
{
    try {
        throw SE_IntDivideByZero();
    } catch (const WException&) {
        ADD_FAILURE() << "caught as WException";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "EXCEPTION_INT_DIVIDE_BY_ZERO");
        return;
    }
    ADD_FAILURE() << "not caught as std::exception";
}
